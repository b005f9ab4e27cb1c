// DLLs built here by real compilers and linkers, read back: each export's
// convention must be the one the compiler decorated its symbol with.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/peers.h"
#include "tests/support/test_files.h"

namespace {

// Every kind of export, in one C++ file both compilers take.
constexpr char kSource[] = R"(#define EXPORT __declspec(dllexport)
extern "C" {
EXPORT int __stdcall s1(int a, int b) { return a + b; }
__attribute__((noinline)) EXPORT int __stdcall s2(int a) { return a * 3; }
int __stdcall s3(int a, int b, int c) { return a - b + c; }
int __stdcall s4(int a, int b) { return a ^ b; }
EXPORT int __cdecl c1(int a, int b) { return a * b; }
EXPORT int __fastcall f1(int a, int b) { return a - b; }
EXPORT int var1 = 5;
int __stdcall tail(int a) { return s2(a + 1); }
int __stdcall zero(void) { return 7; }
volatile int sink;
__attribute__((noreturn)) void __stdcall never(int a) { for (;;) sink = a; }
}
struct EXPORT A { int m(int x); };
int A::m(int x) { return x + 1; }
EXPORT int freef(int x) { return x * 2; }
)";

// What an export must read as. objectSymbol is what the compiler named
// the function in its object; the list's symbol follows from it.
struct Expected {
  const char* exportName;  // "" for the export with no name
  const char* objectSymbol;
  const char* symbol;
  bool unsure;
  ImportKind kind;
};

constexpr ImportKind kCode = ImportKind::Code;

const std::vector<Expected> kClangExports = {
    {"_s1@8", "_s1@8", "_s1@8", false, kCode},
    {"c1", "_c1", "_c1", false, kCode},
    {"@f1@8", "@f1@8", "@f1@8", false, kCode},
    {"var1", "_var1", "_var1", false, ImportKind::Data},
    {"?freef@@YAHH@Z", "?freef@@YAHH@Z", "?freef@@YAHH@Z", false, kCode},
    {"?m@A@@QAEHH@Z", "?m@A@@QAEHH@Z", "?m@A@@QAEHH@Z", false, kCode},
    // Renamed without decoration: only the code tells.
    {"u_s3", "_s3@12", "_u_s3@12", false, kCode},
    {"u_tail", "_tail@4", "_u_tail@4", false, kCode},
    {"", "_s4@8", "_t_Ordinal50@8", false, kCode},
    {"p3", "_s3@12", "_p3@12", false, kCode},  // PRIVATE leaves no trace in the DLL
    // The code cannot tell: the DLL's functions are mostly _pascal.
    {"u_zero", "_zero@0", "_u_zero@0", true, kCode},
    {"u_never", "_never@4", "_u_never@0", true, kCode},
    {"fwd", "", "_fwd@0", true, kCode},
};

const std::vector<Expected> kMingwExports = {  // linked with --kill-at
    {"s1", "_s1@8", "_s1@8", false, kCode},
    {"s2", "_s2@4", "_s2@4", false, kCode},
    {"c1", "_c1", "_c1", false, kCode},
    {"f1", "@f1@8", "_f1@0", true, kCode},  // arguments in registers only
    {"var1", "_var1", "_var1", false, ImportKind::Data},
    {"_Z5freefi", "__Z5freefi", "__Z5freefi", false, kCode},
    {"_ZN1A1mEi", "__ZN1A1mEi", "__ZN1A1mEi", false, kCode},
};

struct Build {
  const char* name;
  bool mingw;
  const char* optimisation;
};

void PrintTo(const Build& b, std::ostream* os) { *os << b.name; }

class PeDllTest : public ::testing::TestWithParam<Build> {};

TEST_P(PeDllTest, EachExportReadsAsTheCompilerDecoratedIt) {
  const Build& build = GetParam();
  ASSERT_TRUE(build.mingw ? Installed({"i686-w64-mingw32-g++", Peer("llvm-nm")})
                          : Installed({Peer("clang"), Peer("lld-link"), Peer("llvm-nm")}));

  TempDir dir;
  WriteFileText(dir.File("t.cpp"), kSource);
  WriteFileText(dir.File("t.def"),
                "LIBRARY t.dll\nEXPORTS\nu_s3=s3\nu_tail=tail\nu_zero=zero\nu_never=never\n"
                "n4=s4 @50 NONAME\np3=s3 PRIVATE\n");
  const std::string obj = dir.File("t.obj");
  const std::string dll = dir.File("t.dll");
  std::string output;
  if (build.mingw) {
    ASSERT_EQ(RunCommand("i686-w64-mingw32-g++ " + std::string(build.optimisation) + " -c " +
                             dir.File("t.cpp") + " -o " + obj + " && i686-w64-mingw32-g++ -shared " +
                             obj + " -o " + dll + " -Wl,--kill-at",
                         &output),
              0)
        << output;
  } else {
    ASSERT_EQ(RunCommand(Peer("clang") + " --target=i686-pc-windows-msvc " + build.optimisation + " -c " +
                             dir.File("t.cpp") + " -o " + obj + " && " + Peer("lld-link") +
                             " -dll -noentry -nodefaultlib -out:" + dll + " " + obj + " -def:" + dir.File("t.def") +
                             " -export:fwd=kernel32.Sleep",
                         &output),
              0)
        << output;
  }
  std::string symbols;
  ASSERT_EQ(RunCommand(Peer("llvm-nm") + " " + obj, &symbols), 0) << symbols;

  TFichierLib lib;
  ASSERT_TRUE(lib.ReadDllFile(dll));
  EXPECT_EQ(lib.SourceMachine, Machine::I386);
  const std::vector<TFonctionLib> list = ListOf(lib);
  const auto& expected = build.mingw ? kMingwExports : kClangExports;
  for (const Expected& x : expected) {
    SCOPED_TRACE(x.exportName);
    if (*x.objectSymbol) {
      EXPECT_NE(symbols.find(std::string(" ") + x.objectSymbol + "\n"), std::string::npos);
    }
    const TFonctionLib* found = nullptr;
    for (const TFonctionLib& e : list)
      if (*x.exportName ? e.Import.ExportName == x.exportName : e.Import.NoName) found = &e;
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(MicrosoftName(*found), x.symbol);
    EXPECT_EQ(found->Unsure, x.unsure);
    EXPECT_EQ(found->Import.Kind, x.kind);
    EXPECT_EQ(found->Import.Dll, "t.dll");
    if (!*x.exportName) {
      EXPECT_TRUE(found->Import.ByOrdinal);
      EXPECT_EQ(found->Import.Ordinal, 50);
    }
    if (std::string(x.exportName) == "fwd") {
      EXPECT_EQ(found->Import.ForwardTo, "kernel32.Sleep");
    }
  }
}

// An x64 function has one convention only: nothing to find, nothing unsure.
TEST(PeDll64Test, Pe32PlusExportsAreReadAndTellTheirMachine) {
  ASSERT_TRUE(Installed({Peer("clang"), Peer("lld-link")}));
  TempDir dir;
  WriteFileText(dir.File("t.cpp"), kSource);
  std::string output;
  ASSERT_EQ(RunCommand(Peer("clang") + " --target=x86_64-pc-windows-msvc -O2 -c " + dir.File("t.cpp") + " -o " +
                           dir.File("t.obj") + " && " + Peer("lld-link") + " -dll -noentry -nodefaultlib -out:" +
                           dir.File("t.dll") + " " + dir.File("t.obj"),
                       &output),
            0)
      << output;
  TFichierLib lib;
  ASSERT_TRUE(lib.ReadDllFile(dir.File("t.dll")));
  EXPECT_EQ(lib.SourceMachine, Machine::Amd64);
  for (const TFonctionLib& e : ListOf(lib)) {
    EXPECT_FALSE(e.Unsure) << e.Name;
    EXPECT_EQ(e.Import.Kind, e.Name == "var1" ? ImportKind::Data : ImportKind::Code) << e.Name;
  }
  // OMF libraries are for 32-bit Intel code: none is made. An x64 COFF
  // library and a .def file are.
  EXPECT_EQ(lib.WriteBorlandLibrary(dir.File("ours.lib")).Kind, OutcomeKind::Refused);
  EXPECT_FALSE(FileExists(dir.File("ours.lib")));
  EXPECT_TRUE(lib.WriteCoffLibrary(dir.File("ours.lib")));
  EXPECT_TRUE(lib.WriteDefFile(dir.File("t.def")));
}

INSTANTIATE_TEST_SUITE_P(Compilers, PeDllTest,
                         ::testing::Values(Build{"clang_O0", false, "-O0"}, Build{"clang_O2", false, "-O2"},
                                           Build{"mingw_O0", true, "-O0"}, Build{"mingw_O2", true, "-O2"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
