// Delay-load libraries: a client built with mingw-w64's GCC and ld calls a
// test DLL through ours, under Wine, while a wrapper around the real
// delay-load helper overwrites every argument register: a trampoline that
// keeps too little gives wrong values at the first call. The trampolines
// of all three machines are checked in their disassembly, and ld.lld links
// an ARM64 client whose function returns a struct through x8.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>

#include "files/fichier_lib.h"
#include "tests/support/peers.h"
#include "tests/support/test_files.h"

namespace {

struct DelayRow {
  Machine machine;
  std::string triple;
  std::string dll;     // exports that each use other argument registers
  std::string client;  // exits with 42 when every call gave the right value
  std::string wrapper; // overwrites every argument register, then the real helper
};

const DelayRow kI386 = {
    Machine::I386, "i686-w64-mingw32",
    "__declspec(dllexport) int __fastcall fast(int a, int b) { return a * 3 + b; }\n"
    "__declspec(dllexport) double half(double x, int n) { return x / 2 + n; }\n",
    "int __fastcall fast(int, int);\ndouble half(double, int);\n"
    "int main(void) { return fast(12, 6) == 42 && half(80.0, 2) == 42.0 ? 42 : 1; }\n",
    "  .text\n  .globl ___wrap___delayLoadHelper2@8\n___wrap___delayLoadHelper2@8:\n"
    "  movl $0x5a5a5a5a, %eax\n  movl %eax, %ecx\n  movl %eax, %edx\n  jmp ___real___delayLoadHelper2@8\n"};

const DelayRow kAmd64 = {
    Machine::Amd64, "x86_64-w64-mingw32",
    "typedef struct { long long a, b, c; } Big;\n"
    "__declspec(dllexport) double fourDoubles(double a, double b, double c, double d, int e, int f, int g, int h)"
    " { return a + 2 * b + 3 * c + 4 * d + 5 * e + 6 * f + 7 * g + 8 * h; }\n"
    "__declspec(dllexport) double fourInts(int a, int b, int c, int d, double e, double f, double g, double h)"
    " { return a + 2 * b + 3 * c + 4 * d + 5 * e + 6 * f + 7 * g + 8 * h; }\n"
    "__declspec(dllexport) Big make(long long a, long long b, long long c) { Big r = {a, b, c}; return r; }\n",
    "typedef struct { long long a, b, c; } Big;\n"
    "double fourDoubles(double, double, double, double, int, int, int, int);\n"
    "double fourInts(int, int, int, int, double, double, double, double);\n"
    "Big make(long long, long long, long long);\n"
    "int main(void) {\n"
    "  Big big = make(1, 2, 3);\n"
    "  return fourDoubles(1, 2, 3, 4, 5, 6, 7, 8) == 204 && fourInts(1, 2, 3, 4, 5, 6, 7, 8) == 204 &&\n"
    "         big.a == 1 && big.b == 2 && big.c == 3 ? 42 : 1;\n"
    "}\n",
    "  .text\n  .globl __wrap___delayLoadHelper2\n__wrap___delayLoadHelper2:\n"
    "  movabsq $0x5a5a5a5a5a5a5a5a, %r8\n  movq %r8, %r9\n  movq %r8, %xmm0\n  movq %r8, %xmm1\n"
    "  movq %r8, %xmm2\n  movq %r8, %xmm3\n  movq %r8, %xmm4\n  movq %r8, %xmm5\n"
    "  jmp __real___delayLoadHelper2\n"};

std::string Wine(Machine machine) {
  if (machine == Machine::I386) return HaveProgram("wine") && FileExists("/usr/lib/wine/wine") ? "wine" : "";
  if (HaveProgram("wine64")) return "wine64";
  return FileExists("/usr/lib/wine/wine64") ? "/usr/lib/wine/wine64" : "";
}

void PrintTo(const DelayRow& row, std::ostream* os) { *os << MachineName(row.machine); }

class DelayLibraryTest : public ::testing::TestWithParam<DelayRow> {};

TEST_P(DelayLibraryTest, FirstCallsSurviveTheTrampolineUnderWine) {
  const DelayRow& row = GetParam();
  const std::string gcc = row.triple + "-gcc";
  ASSERT_TRUE(Installed({gcc}));
  TempDir dir;
  WriteFileText(dir.File("delaytest.c"), row.dll);
  WriteFileText(dir.File("client.c"), row.client);
  WriteFileText(dir.File("wrapper.s"), row.wrapper);
  std::string log;
  ASSERT_EQ(RunCommand(gcc + " -shared -o " + dir.File("delaytest.dll") + " " + dir.File("delaytest.c"), &log), 0)
      << log;

  TFichierLib lib;
  ASSERT_TRUE(lib.ReadDllFile(dir.File("delaytest.dll")));
  EXPECT_TRUE(DelayLoad(lib).empty());
  ASSERT_TRUE(lib.WriteGnuLibrary(dir.File("libdelaytest.a")));
  // Read back: the same functions, each marked as delayed.
  TFichierLib back;
  ASSERT_TRUE(back.ReadCoffLibrary(dir.File("libdelaytest.a")));
  EXPECT_TRUE(back.GnuForm);
  ASSERT_EQ(back.Fonctions.Count, lib.Fonctions.Count);
  for (std::uint32_t i = 0; i < back.Fonctions.Count; ++i) {
    EXPECT_TRUE(back.Fonctions.Item(i).Import.Delayed) << back.Fonctions.Item(i).Name;
    EXPECT_EQ(back.Fonctions.Item(i).Import.Dll, "delaytest.dll");
  }

  const std::string helper = row.machine == Machine::I386 ? "__delayLoadHelper2@8" : "__delayLoadHelper2";
  ASSERT_EQ(RunCommand(gcc + " -o " + dir.File("client.exe") + " " + dir.File("client.c") + " " +
                           dir.File("wrapper.s") + " -Wl,--wrap=" + helper + " " + dir.File("libdelaytest.a"),
                       &log), 0) << log;
  const std::string wine = Wine(row.machine);
  if (wine.empty()) GTEST_SKIP() << "no Wine loader for " << MachineName(row.machine) << ": the client was linked, not run";
  const std::string prefix = std::string(LIBMORPH_BINARY_DIR) + (row.machine == Machine::I386 ? "/wine32" : "/wine64");
  const int status = RunCommand("cd '" + dir.Path() + "' && WINEPREFIX='" + prefix +
                                    "' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' timeout 300 " + wine +
                                    " client.exe", &log);
  if (status == 124) GTEST_SKIP() << "Wine did not start the client within 300 s";
  EXPECT_EQ(status, 42) << log;
}

INSTANTIATE_TEST_SUITE_P(Machines, DelayLibraryTest, ::testing::Values(kI386, kAmd64),
                         [](const auto& info) { return std::string(info.param.machine == Machine::I386 ? "i386" : "x64"); });

// What each trampoline must keep, in llvm-objdump's words.
// GNU dlltool's own delay libraries (-y) keep the ".idata" section names
// of its normal ones: they read as delayed imports of their DLL all the
// same, 32-bit Intel names with their decoration.
TEST_P(DelayLibraryTest, GnuDlltoolsDelayLibraryReadsAsDelayedImports) {
  const DelayRow& row = GetParam();
  const std::string dlltool = row.triple + "-dlltool";
  ASSERT_TRUE(Installed({dlltool}));
  TempDir dir;
  WriteFileText(dir.File("x.def"), "LIBRARY gnudelay.dll\nEXPORTS\n  Func@8\n  Var DATA\n");
  std::string log;
  ASSERT_EQ(RunCommand(dlltool + " -d " + dir.File("x.def") + " -y " + dir.File("x.a"), &log), 0) << log;
  TFichierLib lib;
  ASSERT_TRUE(lib.ReadCoffLibrary(dir.File("x.a")));
  std::vector<std::string> seen;
  for (const TFonctionLib& e : ListOf(lib))
    seen.push_back(e.Name + " " + e.Import.ExportName + " " + e.Import.Dll + (e.Import.Delayed ? " delayed" : "") +
                   (e.Import.Kind == ImportKind::Data ? " data" : ""));
  std::sort(seen.begin(), seen.end());
  // GNU's delay objects look the function up without its "@8".
  const std::string func = row.machine == Machine::I386 ? "Func Func" : "Func@8 Func";
  EXPECT_EQ(seen, (std::vector<std::string>{func + " gnudelay.dll delayed", "Var Var gnudelay.dll delayed data"}));
}

struct TrampolineRow {
  Machine machine;
  std::vector<std::string> saved;
};

TEST(DelayTrampolineTest, EachMachineKeepsEveryArgumentRegister) {
  ASSERT_TRUE(Installed({Peer("llvm-objdump")}));
  const TrampolineRow rows[] = {
      {Machine::I386, {"pushl\t%eax", "pushl\t%ecx", "pushl\t%edx", "popl\t%edx", "popl\t%ecx",
                       "xchgl\t%eax, (%esp)", "calll"}},
      {Machine::Amd64, {"pushq\t%rcx", "pushq\t%rdx", "pushq\t%r8", "pushq\t%r9", "movdqa\t%xmm0, 0x20(%rsp)",
                        "movdqa\t%xmm5, 0x70(%rsp)", "movdqa\t0x70(%rsp), %xmm5", "popq\t%r9", "jmpq\t*%rax"}},
      {Machine::Arm64, {"stp\tx0, x1", "stp\tx6, x7", "str\tx8, [sp, #0x50]", "stp\tq0, q1", "stp\tq6, q7",
                        "ldp\tq6, q7", "ldr\tx8, [sp, #0x50]", "ldp\tx0, x1", "bl\t", "br\tx16"}},
  };
  for (const TrampolineRow& row : rows) {
    SCOPED_TRACE(MachineName(row.machine));
    TempDir dir;
    WriteFileText(dir.File("d.def"), "LIBRARY d.dll\nEXPORTS\nf\n");
    TFichierLib lib;
    ASSERT_TRUE(lib.ReadDefFile(dir.File("d.def"), row.machine));
    DelayLoad(lib);
    ASSERT_TRUE(lib.WriteGnuLibrary(dir.File("d.a")));
    std::string log;
    ASSERT_EQ(RunCommand(Peer("llvm-objdump") + " -d " + dir.File("d.a"), &log), 0) << log;
    for (const std::string& instruction : row.saved)
      EXPECT_NE(log.find(instruction), std::string::npos) << instruction << "\n" << log;
  }
}

TEST(DelayLibraryArm64Test, LldLinksAClientWhoseStructComesBackThroughX8) {
  ASSERT_TRUE(Installed({Peer("clang"), Peer("ld.lld"), Peer("llvm-objdump")}));
  TempDir dir;
  WriteFileText(dir.File("big.def"), "LIBRARY big.dll\nEXPORTS\nmake\n");
  TFichierLib lib;
  ASSERT_TRUE(lib.ReadDefFile(dir.File("big.def"), Machine::Arm64));
  DelayLoad(lib);
  ASSERT_TRUE(lib.WriteGnuLibrary(dir.File("libbig.a")));
  // The helper is the CRT's; a stand-in lets the client link.
  WriteFileText(dir.File("client.c"),
                "typedef struct { long long a, b, c; } Big;\nBig make(long long, long long, long long);\n"
                "void *__delayLoadHelper2(const void *descriptor, void **slot) { return *slot; }\n"
                "long long start(void) { Big big = make(1, 2, 3); return big.a + big.b + big.c; }\n");
  std::string log;
  ASSERT_EQ(RunCommand(Peer("clang") + " --target=aarch64-w64-mingw32 -ffreestanding -c " + dir.File("client.c") +
                           " -o " + dir.File("client.o") + " && " + Peer("ld.lld") + " -m arm64pe --entry=start -o " +
                           dir.File("client.exe") + " " + dir.File("client.o") + " " + dir.File("libbig.a"), &log),
            0) << log;
  ASSERT_EQ(RunCommand(Peer("llvm-objdump") + " -d -h " + dir.File("client.exe"), &log), 0) << log;
  // The trampoline is in, with its struct-return register kept, and the
  // address table in a section of its own.
  EXPECT_NE(log.find("str\tx8, [sp, #0x50]"), std::string::npos) << log;
  EXPECT_NE(log.find(".didat"), std::string::npos) << log;
}

}  // namespace
