// Delay-load libraries: a client built with mingw-w64's GCC and ld calls a
// test DLL through ours, under Wine, while a wrapper around the real
// delay-load helper overwrites every argument register: a trampoline that
// keeps too little gives wrong values at the first call. The trampolines
// of all three machines are checked in their disassembly, and ld.lld links
// an ARM64 client whose function returns a struct through x8. The ARM64
// trampoline's unwind codes are held to its disassembly one instruction at
// a time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <regex>
#include <string>
#include <vector>

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
  ASSERT_TRUE(Installed({Peer("clang"), Peer("ld.lld"), Peer("llvm-objdump"), Peer("llvm-readobj")}));
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
  // Its function table entry made it into the image's, at its address.
  const std::size_t first = log.find("stp\tx29, x30, [sp, #-0xe0]!");
  ASSERT_NE(first, std::string::npos) << log;
  char start[32];
  std::snprintf(start, sizeof start, "Function: 0x%llX\n",
                std::stoull(log.substr(log.rfind('\n', first) + 1), nullptr, 16));
  ASSERT_EQ(RunCommand(Peer("llvm-readobj") + " --unwind " + dir.File("client.exe"), &log), 0) << log;
  const std::size_t entry = log.find(start);
  ASSERT_NE(entry, std::string::npos) << start << log;
  EXPECT_LT(log.find("stp x29, x30, [sp, #-224]!", entry), log.find("Function:", entry + 1)) << log;
}

// The instructions of `function` in llvm-objdump -d's text, each as
// llvm-readobj words it: one space between the fields, numbers in decimal.
std::vector<std::string> Disassembly(const std::string& text, const std::string& function) {
  static const std::regex hex("#(-?)0x([0-9a-f]+)");
  std::vector<std::string> out;
  std::size_t at = text.find("<" + function + ">:\n");
  if (at == std::string::npos) return out;
  for (at = text.find('\n', at) + 1; at < text.size() && text[at] != '\n'; at = text.find('\n', at) + 1) {
    std::string line = text.substr(at, text.find('\n', at) - at), words;
    for (std::size_t tab = line.find('\t'); tab != std::string::npos; tab = line.find('\t', tab + 1))
      words += (words.empty() ? "" : " ") + line.substr(tab + 1, line.find('\t', tab + 1) - tab - 1);
    std::smatch m;
    std::string decimal;
    for (; std::regex_search(words, m, hex); words = m.suffix())
      decimal += m.prefix().str() + "#" + m[1].str() + std::to_string(std::stoul(m[2].str(), nullptr, 16));
    out.push_back(decimal + words);
  }
  return out;
}

// The instructions llvm-readobj --unwind reads in the codes of `list`
// ("Prologue", "Epilogue"), without the end code, in x-register names.
std::vector<std::string> UnwindListing(const std::string& text, const std::string& list) {
  std::vector<std::string> out;
  for (std::size_t at = text.find(list + " [\n"); at != std::string::npos;) {
    at = text.find('\n', at) + 1;
    const std::string line = text.substr(at, text.find('\n', at) - at);
    const std::size_t semicolon = line.find("; ");
    if (semicolon == std::string::npos) break;
    const std::string words = line.substr(semicolon + 2);
    if (words != "end")
      out.push_back(std::regex_replace(std::regex_replace(words, std::regex("\\bfp\\b"), "x29"),
                                       std::regex("\\blr\\b"), "x30"));
  }
  return out;
}

// The unwinder undoes the prologue from the instruction an exception left
// the trampoline at: each code must stand for its instruction, in order,
// and a nop only for a store or load of an argument register, which moves
// neither sp nor anything the caller keeps.
TEST(DelayLibraryArm64Test, UnwindCodesFollowTheTrampolineInstructionByInstruction) {
  ASSERT_TRUE(Installed({Peer("llvm-objdump"), Peer("llvm-readobj")}));
  TempDir dir;
  WriteFileText(dir.File("d.def"), "LIBRARY d.dll\nEXPORTS\nf\n");
  TFichierLib lib;
  ASSERT_TRUE(lib.ReadDefFile(dir.File("d.def"), Machine::Arm64));
  DelayLoad(lib);
  ASSERT_TRUE(lib.WriteGnuLibrary(dir.File("d.a")));
  std::string code, unwind;
  ASSERT_EQ(RunCommand(Peer("llvm-objdump") + " -d --no-show-raw-insn " + dir.File("d.a"), &code), 0) << code;
  ASSERT_EQ(RunCommand(Peer("llvm-readobj") + " --unwind " + dir.File("d.a"), &unwind), 0) << unwind;
  EXPECT_EQ(unwind.find("warning"), std::string::npos) << unwind;
  const std::vector<std::string> body = Disassembly(code, "__tailMerge_d_dll");
  EXPECT_NE(unwind.find("FunctionLength: " + std::to_string(4 * body.size()) + "\n"), std::string::npos) << unwind;
  std::vector<std::string> prologue = UnwindListing(unwind, "Prologue");
  std::reverse(prologue.begin(), prologue.end());
  const std::vector<std::string> epilogue = UnwindListing(unwind, "Epilogue");
  ASSERT_FALSE(prologue.empty());
  ASSERT_LT(prologue.size() + epilogue.size(), body.size()) << unwind;

  static const std::regex argument("(st|ld)(r|p) (x[0-8]|q[0-7])(, (x[0-8]|q[0-7]))?, \\[sp, #[0-9]+\\]");
  auto expectStandsFor = [&](const std::string& listed, std::size_t i) {
    if (listed == "nop") EXPECT_TRUE(std::regex_match(body[i], argument)) << i << ": " << body[i];
    else EXPECT_EQ(listed, body[i]) << i;
  };
  for (std::size_t i = 0; i < prologue.size(); ++i) expectStandsFor(prologue[i], i);
  // The epilogue closes the function, its end code standing for the jump
  // to what the helper found.
  const std::size_t epilogueAt = body.size() - 1 - epilogue.size();
  for (std::size_t i = 0; i < epilogue.size(); ++i) expectStandsFor(epilogue[i], epilogueAt + i);
  EXPECT_EQ(body.back(), "br x16");
  for (std::size_t i = prologue.size(); i < epilogueAt; ++i)
    EXPECT_TRUE(body[i].find("sp") == std::string::npos && body[i].find("x29") == std::string::npos) << body[i];
}

}  // namespace
