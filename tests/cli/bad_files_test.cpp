// Files that hold no import library, or only part of one, given to both
// commands: one line on stderr naming the file and why, exit status 1, no
// listing and no output file.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>

#include "tests/cli/cli_runner.h"
#include "tests/support/omf_builder.h"
#include "tests/support/peers.h"
#include "tests/support/test_files.h"

namespace {

constexpr char kCutShort[] = "the file is cut short: only ";

// A static COFF library: one object of a function, archived by llvm-ar.
std::string MakeStaticCoff(const TempDir& dir, const std::string& path) {
  WriteFileText(dir.File("f.c"), "int f(int a) { return a + 1; }\n");
  std::string output;
  if (RunCommand(Peer("clang") + " --target=i686-pc-windows-msvc -c -o '" + dir.File("f.obj") + "' '" +
                     dir.File("f.c") + "' && " + Peer("llvm-ar") + " rcs '" + path + "' '" + dir.File("f.obj") + "'",
                 &output) != 0)
    return "clang or llvm-ar failed: " + output;
  return {};
}

// A static OMF library: two nasm objects, each on its own page.
std::string MakeStaticOmf(const TempDir& dir, const std::string& path) {
  omf::LibraryBuilder library(16);
  for (const std::string name : {"one", "two"}) {
    const std::string source = dir.File(name + ".asm");
    const std::string object = dir.File(name + ".obj");
    WriteFileText(source, "segment code public use32 class=CODE\nglobal " + name + "\n" + name +
                              ":\n  ret\n");
    std::string output;
    if (RunCommand("nasm -f obj -o '" + object + "' '" + source + "'", &output) != 0)
      return "nasm failed: " + output;
    library.AddModule(ReadFileBytes(object), {name});
  }
  library.WriteTo(path);
  return {};
}

void CutAfter(const std::string& path, const Bytes& whole, std::size_t size) {
  WriteFileBytes(path, Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size)));
}

struct BadFile {
  std::string label;
  std::vector<std::string> tools;  // the row fails without them
  // Makes the file at path; answers why it could not, empty when it did.
  std::function<std::string(const TempDir&, const std::string&)> make;
  std::string reason;     // after "libmorph-cli: FILE: "
  bool prefix = false;    // reason is only how the line starts
};

TEST(BadFilesTest, EachIsOneLineOnStderrExitOneAndNothingWritten) {
  TempDir dir;
  std::vector<BadFile> rows = {
      {"missing", {}, [](const TempDir&, const std::string&) { return std::string(); },
       ReasonText(SystemReason::NoSuchFile)},
      {"folder", {}, [](const TempDir&, const std::string& p) {
         ::mkdir(p.c_str(), 0700);
         return std::string();
       },
       ReasonText(SystemReason::IsAFolder)},
      {"empty", {}, [](const TempDir&, const std::string& p) {
         WriteFileText(p, "");
         return std::string();
       },
       "not an import library (an empty file)"},
      {"text", {}, [](const TempDir&, const std::string& p) {
         WriteFileText(p, "Foo\nBar\n");
         return std::string();
       },
       "not an import library (a text file)"},
      {"random", {}, [](const TempDir&, const std::string& p) {
         WriteFileBytes(p, {0x17, 0x9C, 0x00, 0xE4, 0x3B, 0x01, 0xFF, 0x42, 0x08, 0x61});
         return std::string();
       },
       "not an import library (not a format Libmorph knows)"},
      {"signature", {}, [](const TempDir&, const std::string& p) {
         WriteFileText(p, "!<arch>\n");
         return std::string();
       },
       "not an import library", true},
      {"static-coff", {Peer("clang"), Peer("llvm-ar")}, MakeStaticCoff,
       "a static library of 1 object module and no import, not an import library"},
      {"static-omf", {"nasm"}, MakeStaticOmf,
       "a static library of 2 object modules and no import, not an import library"},
      {"cut-coff", {}, [](const TempDir&, const std::string& p) {
         TFichierLib lib;
         SetList(lib, {Entry("Zeta", 8, true), Entry("Alpha", 0, false), Entry("Mid", 12, true)});
         if (!lib.WriteCoffLibrary(p)) return std::string("the COFF writer failed");
         // Inside the first linker member's names: after the signature,
         // the member header, the big-endian count and the offsets.
         const Bytes whole = ReadFileBytes(p);
         const std::size_t count = std::size_t{whole[68]} << 24 | std::size_t{whole[69]} << 16 |
                                   std::size_t{whole[70]} << 8 | whole[71];
         CutAfter(p, whole, 8 + 60 + 4 + 4 * count + 20);
         return std::string();
       },
       kCutShort, true},
      {"cut-omf", {}, [](const TempDir&, const std::string& p) {
         // Inside the second module, before the library end record.
         const Bytes whole = omf::LibraryBuilder(16).AddImports({{"_A"}, {"_B"}, {"_C"}}).Build();
         CutAfter(p, whole, whole.size() / 2);
         return std::string();
       },
       kCutShort, true},
  };

  // Root reads any file whatever its permissions: no row for it then.
  if (::geteuid() != 0)
    rows.push_back({"unreadable", {}, [](const TempDir&, const std::string& p) {
                      WriteFileText(p, "EXPORTS\n  Foo\n");
                      ::chmod(p.c_str(), 0);
                      return std::string();
                    },
                    ReasonText(SystemReason::AccessDenied)});

  for (const BadFile& row : rows) {
    const ::testing::AssertionResult tools = Installed(row.tools);
    const std::string path = dir.File(row.label + ".lib");
    const std::string why = tools ? row.make(dir, path) : tools.message();
    if (!why.empty()) {
      ADD_FAILURE() << row.label << " could not be made: " << why;
      continue;
    }
    const std::string output = dir.File("out.lib");
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"list", path}, {"convert", path, output},
          {"convert", path, output, "--to", "def"}}) {
      const CliResult result = RunCli(arguments);
      const std::string context = row.label + "\n" + Describe(arguments, result);
      const std::string start = "libmorph-cli: " + path + ": " + row.reason;
      EXPECT_EQ(result.status, 1) << context;
      EXPECT_EQ(result.out, "") << context;
      if (row.prefix) {
        EXPECT_EQ(result.err.rfind(start, 0), 0u) << context;
        EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << context;
      } else {
        EXPECT_EQ(result.err, start + "\n") << context;
      }
      EXPECT_FALSE(FileExists(output)) << context;
      std::remove(output.c_str());
    }
  }
}

}  // namespace
