// check on DLLs made in memory: stacks told by the export's decoration
// where the code cannot tell, and which machines' DLLs a library's
// clients can load.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "check/library_check.h"
#include "model/dll_names.h"
#include "tests/support/pe_builder.h"

namespace {

using check::Problem;

const Bytes kRet4 = {0xC2, 0x04, 0x00};
const Bytes kForever = {0xEB, 0xFE};  // no return a walk can find
const Bytes kRet = {0xC3};

check::Report CheckAgainst(const std::vector<TFonctionLib>& entries, const Bytes& image) {
  TempDir dir;
  WriteFileBytes(dir.File("x.dll"), image);
  std::vector<check::Dll> dlls(1);
  EXPECT_TRUE(dlls[0].Open(dir.File("x.dll")));
  TFichierLib lib;
  SetList(lib, entries);
  return check::Check(lib.Fonctions, dlls);
}

TEST(LibraryCheckTest, TheExportsDecorationTellsTheStackWhereTheCodeCannot) {
  struct Case {
    const char* symbol;      // the client's
    const char* exported;    // what it binds to
    Bytes code;
    bool packed;
    const char* found;       // the finding's end; empty: none
  };
  const std::vector<Case> cases = {
      {"_f@12", "_f@4", {}, true, "its export name \"_f@4\" says it pops 4 bytes"},
      {"_f@4", "_f@4", {}, true, ""},
      {"_g@4", "g@8", {}, true, "its export name \"g@8\" says it pops 8 bytes"},
      {"_h", "_h@8", {}, true, "its export name \"_h@8\" says it pops 8 bytes"},
      {"@k@8", "@k@12", {}, true, "its export name \"@k@12\" says a fastcall function of 12 bytes of arguments"},
      {"@k@12", "@k@12", {}, true, ""},
      {"_m@12", "@m@12", {}, true, ""},  // 4 to 12 bytes popped: might be right
      {"_n", "@n@16", {}, true, "its export name \"@n@16\" says a fastcall function of 16 bytes of arguments"},
      {"_p@12", "plain", {}, true, ""},  // nothing tells
      // Unpacked: the code tells when it can, and one finding says it.
      {"_q@12", "_q@4", kRet4, false, "its code pops 4 bytes (ret 4)"},
      {"_r@12", "_r@4", kForever, false, "its export name \"_r@4\" says it pops 4 bytes"},
  };
  for (const bool packed : {true, false}) {
    std::vector<PeExport> exports;
    std::vector<TFonctionLib> entries;
    std::vector<const Case*> these;
    for (const Case& c : cases) {
      if (c.packed != packed) continue;
      exports.push_back({c.exported, c.code});
      entries.push_back(BoundTo(c.symbol, c.exported));
      these.push_back(&c);
    }
    const check::Report report = CheckAgainst(entries, BuildPe(exports, {.packed = packed}));
    std::vector<std::string> found(these.size());
    for (const check::Finding& f : report.Findings) {
      if (f.What != Problem::StackMismatch) continue;
      ASSERT_LT(f.Entry, found.size());
      EXPECT_TRUE(found[f.Entry].empty()) << "two findings for " << f.Symbol;
      found[f.Entry] = check::Describe(f);
    }
    for (std::size_t i = 0; i < these.size(); ++i) {
      SCOPED_TRACE(these[i]->symbol);
      if (*these[i]->found == '\0')
        EXPECT_EQ(found[i], "");
      else
        EXPECT_TRUE(found[i].ends_with(these[i]->found)) << found[i];
    }
    EXPECT_EQ(report.Passed(false), false);
  }
}

TEST(LibraryCheckTest, ALibrarysClientsLoadOnlyDllsOfTheirMachine) {
  struct Dll {
    const char* what;
    PeShape shape;
    Machine loadsAs;
  };
  const std::vector<Dll> dlls = {
      {"32-bit Intel", {Machine::I386}, Machine::I386},
      {"x64 (or ARM64EC)", {Machine::Amd64, false, true}, Machine::Amd64},
      {"ARM64", {Machine::Arm64}, Machine::Arm64},
      {"ARM64X", {Machine::Arm64, false, true}, Machine::Arm64x},
  };
  // For each library machine, which of those DLLs its clients load.
  const std::vector<std::pair<Machine, std::string>> rule = {
      {Machine::Unknown, "1000"}, {Machine::I386, "1000"},    {Machine::Amd64, "0100"},
      {Machine::Arm64, "0011"},   {Machine::Arm64ec, "0101"}, {Machine::Arm64x, "0001"},
  };
  for (std::size_t d = 0; d < dlls.size(); ++d) {
    SCOPED_TRACE(dlls[d].what);
    TempDir dir;
    WriteFileBytes(dir.File("x.dll"), BuildPe({{"f", kRet}}, dlls[d].shape));
    std::vector<check::Dll> opened(1);
    ASSERT_TRUE(opened[0].Open(dir.File("x.dll")));
    EXPECT_EQ(opened[0].LoadsAs(), dlls[d].loadsAs);
    for (const auto& [library, fits] : rule) {
      SCOPED_TRACE(MachineName(library));
      const bool expected = fits[d] == '1';
      EXPECT_EQ(check::MachineFits(library, dlls[d].loadsAs), expected);
      TFichierLib lib;
      SetList(lib, {Entry("f", 0, false)});
      check::Options options;
      options.ListMachine = library;
      const check::Report report = check::Check(lib.Fonctions, opened, options);
      ASSERT_EQ(report.Count(Problem::WrongMachine), expected ? 0u : 1u);
      EXPECT_EQ(report.Passed(false), expected);
      if (!expected) {
        EXPECT_EQ(check::Describe(report.Findings.front()),
                  "wrong machine: the library is for " +
                      MachineName(library == Machine::Unknown ? Machine::I386 : library) +
                      ", x.dll for " + MachineName(dlls[d].loadsAs) + ": its clients cannot load it");
      }
    }
  }
}

TEST(LibraryCheckTest, AnImportFindsItsDllAsWindowsLoaderCompletesTheName) {
  struct Case {
    const char* imported;  // the DLL the import names
    const char* file;      // the DLL given
    bool binds;
  };
  const std::vector<Case> cases = {
      {"mylib", "mylib.dll", true},      {"MYLIB", "mylib.dll", true},
      {"mylib.dll", "MyLib.DLL", true},  {"mylib", "mylib.exe", false},
      {"other", "mylib.dll", false},     {"mylib.", "mylib", true},
      {"mylib.dll", "mylib", false},     {"mylib", "mylib", true},
      {"mylib.dll", "mylib.dll.dll", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.imported) + " against " + c.file);
    TempDir dir;
    WriteFileBytes(dir.File(c.file), BuildPe({{"f", kRet}}));
    std::vector<check::Dll> dlls(1);
    ASSERT_TRUE(dlls[0].Open(dir.File(c.file)));
    TFichierLib lib;
    SetList(lib, {BoundTo("_f", "f", ImportKind::Code, c.imported)});
    const check::Report report = check::Check(lib.Fonctions, dlls);
    EXPECT_EQ(report.Bound, c.binds ? 1u : 0u);
    ASSERT_EQ(report.Count(Problem::WrongDll), c.binds ? 0u : 1u);
    if (!c.binds) EXPECT_EQ(report.Findings.front().Dll, c.imported);  // as the library spells it
  }
  // Only the file-name part's dots are an extension.
  EXPECT_EQ(LoaderDllName("my.dir\\mylib"), "my.dir\\mylib.dll");
}

}  // namespace
