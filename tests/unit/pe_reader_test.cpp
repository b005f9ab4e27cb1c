// The DLL reader on images made here byte by byte: conventions from the
// code of small functions, and every kind of damaged export table.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "model/hybrid_views.h"
#include "tests/support/pe_builder.h"
#include "tests/support/test_files.h"

namespace {

// A PE32 i386 image: .text (code) at 0x1000, .rdata (the export directory,
// its tables and names, then one data word) at 0x2000.
constexpr std::uint32_t kTextRva = 0x1000, kTextRaw = 0x200;
constexpr std::uint32_t kDataRva = 0x2000, kDataRaw = 0x400;
constexpr std::uint32_t kSectionSize = 0x200;
constexpr std::uint32_t kPeAt = 0x40, kOptionalAt = kPeAt + 24, kSectionsAt = kOptionalAt + 0xE0;
constexpr std::uint32_t kDirRva = kDataRva;

struct Export {
  std::string name;  // empty: by ordinal only
  std::vector<std::uint8_t> code;
  bool data = false;
};

void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void Put16(Bytes& b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
std::uint32_t Raw(std::uint32_t dataRva) { return dataRva - kDataRva + kDataRaw; }

Bytes BuildImage(const std::vector<Export>& exports, std::uint32_t ordinalBase = 1) {
  Bytes b(kDataRaw + kSectionSize, 0);
  b[0] = 'M', b[1] = 'Z';
  Put32(b, 0x3C, kPeAt);
  std::memcpy(&b[kPeAt], "PE\0\0", 4);
  Put16(b, kPeAt + 4, 0x14C);
  Put16(b, kPeAt + 6, 2);
  Put16(b, kPeAt + 20, 0xE0);
  Put16(b, kOptionalAt, 0x10B);
  Put32(b, kOptionalAt + 60, kTextRaw);
  Put32(b, kOptionalAt + 92, 16);
  const struct { const char* name; std::uint32_t rva, raw, flags; } sections[] = {
      {".text", kTextRva, kTextRaw, 0x60000020}, {".rdata", kDataRva, kDataRaw, 0x40000040}};
  for (int i = 0; i < 2; ++i) {
    const std::size_t h = kSectionsAt + 40 * i;
    std::memcpy(&b[h], sections[i].name, std::strlen(sections[i].name));
    Put32(b, h + 8, kSectionSize);
    Put32(b, h + 12, sections[i].rva);
    Put32(b, h + 16, kSectionSize);
    Put32(b, h + 20, sections[i].raw);
    Put32(b, h + 36, sections[i].flags);
  }
  const auto n = static_cast<std::uint32_t>(exports.size());
  std::uint32_t named = 0;
  for (const Export& e : exports) named += !e.name.empty();
  const std::uint32_t functions = kDirRva + 40, names = functions + 4 * n, ordinals = names + 4 * named;
  std::uint32_t strings = ordinals + 2 * named, code = kTextRva, k = 0;
  const std::uint32_t dataWord = kDataRva + kSectionSize - 4;
  Put32(b, Raw(kDirRva) + 16, ordinalBase);
  Put32(b, Raw(kDirRva) + 20, n);
  Put32(b, Raw(kDirRva) + 24, named);
  Put32(b, Raw(kDirRva) + 28, functions);
  Put32(b, Raw(kDirRva) + 32, names);
  Put32(b, Raw(kDirRva) + 36, ordinals);
  for (std::uint32_t i = 0; i < n; ++i) {
    const Export& e = exports[i];
    Put32(b, Raw(functions) + 4 * i, e.data ? dataWord : code);
    if (!e.code.empty()) std::memcpy(&b[code - kTextRva + kTextRaw], e.code.data(), e.code.size());
    code += 0x20;
    if (e.name.empty()) continue;
    Put32(b, Raw(names) + 4 * k, strings);
    Put16(b, Raw(ordinals) + 2 * k, static_cast<std::uint16_t>(i));
    std::memcpy(&b[Raw(strings)], e.name.c_str(), e.name.size() + 1);
    strings += static_cast<std::uint32_t>(e.name.size() + 1);
    ++k;
  }
  Put32(b, kOptionalAt + 96, kDirRva);
  Put32(b, kOptionalAt + 100, strings - kDirRva);
  return b;
}

const Bytes kRet8 = {0xC2, 0x08, 0x00};
const Bytes kCdecl = {0x8B, 0x44, 0x24, 0x04, 0xC3};             // mov eax, [esp+4]; ret
const Bytes kFramedCdecl = {0x55, 0x89, 0xE5, 0x8B, 0x45, 0x0C,  // push ebp; mov ebp, esp;
                            0x5D, 0xC3};                         // mov eax, [ebp+12]; pop ebp; ret
const Bytes kNoArgument = {0xB8, 0x07, 0x00, 0x00, 0x00, 0xC3};  // mov eax, 7; ret
const Bytes kJumpToRet4 = {0xEB, 0x01, 0xCC, 0xC2, 0x04, 0x00};  // jmp +1; int3; ret 4
const Bytes kBranches = {0x85, 0xC0, 0x74, 0x03, 0xC2, 0x0C, 0x00,  // test; je +3; ret 12;
                         0xC2, 0x0C, 0x00};                         // ret 12
const Bytes kDisagree = {0x85, 0xC0, 0x74, 0x01, 0xC3, 0xC2, 0x04, 0x00};  // ret or ret 4
const Bytes kThunk = {0xFF, 0x25, 0x00, 0x30, 0x00, 0x10};  // jmp [import]
const Bytes kForever = {0xEB, 0xFE};

struct Case {
  const char* name;
  Bytes code;
  bool pascal;
  int length;
  bool unsure;
};

std::vector<TFonctionLib> Read(const Bytes& image, Outcome* outcome = nullptr) {
  TempDir dir;
  WriteFileBytes(dir.File("x.dll"), image);
  TFichierLib lib;
  const Outcome o = lib.ReadDllFile(dir.File("x.dll"));
  if (outcome) *outcome = o;
  return ListOf(lib);
}

TEST(PeReaderTest, ConventionsFromTheCodeAndTheSharedOneWhereItCannotTell) {
  // Mostly _stdcall functions that read their arguments, so a function
  // the code cannot tell about is taken for one of them, flagged.
  const std::vector<Case> cases = {
      {"ret8", kRet8, true, 8, false},          {"cdecl", kCdecl, false, 0, false},
      {"framed", kFramedCdecl, false, 0, false}, {"cdecl2", kCdecl, false, 0, false},
      {"cdecl3", kCdecl, false, 0, false},      {"jump", kJumpToRet4, true, 4, false},
      {"branches", kBranches, true, 12, false}, {"none", kNoArgument, false, 0, true},
      {"disagree", kDisagree, false, 0, true},  {"thunk", kThunk, false, 0, true},
      {"forever", kForever, false, 0, true},    {"cdecl4", kCdecl, false, 0, false},
      {"cdecl5", kCdecl, false, 0, false},      {"cdecl6", kCdecl, false, 0, false},
  };
  std::vector<Export> exports;
  for (const Case& c : cases) exports.push_back({c.name, c.code});
  exports.push_back({"table", {}, true});
  exports.push_back({"", kCdecl});
  Outcome outcome;
  const auto list = Read(BuildImage(exports), &outcome);
  ASSERT_TRUE(outcome) << Describe(outcome);
  ASSERT_EQ(list.size(), cases.size() + 2);
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].name);
    EXPECT_EQ(list[i].Name, cases[i].name);
    EXPECT_EQ(list[i].IsPascal, cases[i].pascal);
    EXPECT_EQ(list[i].ArgLength, cases[i].length);
    EXPECT_EQ(list[i].Unsure, cases[i].unsure);
    EXPECT_EQ(list[i].Import.ExportName, cases[i].name);
    EXPECT_EQ(list[i].Import.Ordinal, i + 1);
  }
  EXPECT_EQ(list[cases.size()].Import.Kind, ImportKind::Data);
  EXPECT_FALSE(list[cases.size()].Unsure);
  const TFonctionLib& noName = list.back();
  EXPECT_EQ(noName.Name, "x_Ordinal16");
  EXPECT_TRUE(noName.Import.NoName && noName.Import.ByOrdinal);
  EXPECT_EQ(MicrosoftName(noName), "_x_Ordinal16");
}

TEST(PeReaderTest, WithNoClearMajorityTheDefaultIsPascalZero) {
  const auto list = Read(BuildImage({{"a", kRet8}, {"b", kCdecl}, {"c", kNoArgument}}));
  ASSERT_EQ(list.size(), 3u);
  EXPECT_TRUE(list[2].IsPascal && list[2].Unsure);
  EXPECT_EQ(list[2].ArgLength, 0);
}

TEST(PeReaderTest, DecoratedNamesTellTheConventionWithoutTheCode) {
  const auto list = Read(BuildImage({{"_f@12", kForever}, {"g@4", kForever}, {"@h@8", kForever},
                                     {"_k", kForever}, {"?m@@YAXXZ", kForever}}));
  const std::vector<std::string> symbols = {"_f@12", "_g@4", "@h@8", "_k", "?m@@YAXXZ"};
  ASSERT_EQ(list.size(), symbols.size());
  for (std::size_t i = 0; i < symbols.size(); ++i) {
    EXPECT_EQ(MicrosoftName(list[i]), symbols[i]);
    EXPECT_FALSE(list[i].Unsure) << symbols[i];
  }
  EXPECT_EQ(list[1].Import.ExportName, "g@4");
  EXPECT_TRUE(list[0].Import.Symbol.empty() && list[1].Import.Symbol.empty());
}

// Ordinals count from the directory's base, which linkers other than the
// usual ones set freely: a NONAME export is reached by base + its index.
TEST(PeReaderTest, OrdinalsCountFromTheDirectorysBase) {
  for (std::uint32_t base : {1u, 5u, 300u}) {
    SCOPED_TRACE(base);
    const auto list = Read(BuildImage({{"first", kRet8}, {"", kCdecl}, {"third", kCdecl}}, base));
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].Import.Ordinal, base);
    EXPECT_EQ(list[1].Import.Ordinal, base + 1);
    EXPECT_TRUE(list[1].Import.ByOrdinal && list[1].Import.NoName);
    EXPECT_EQ(list[1].Name, "x_Ordinal" + std::to_string(base + 1));
    EXPECT_EQ(list[2].Import.Ordinal, base + 2);
  }
}

TEST(PeReaderTest, DamagedImagesAreRefusedAndLeaveTheListAlone) {
  const Bytes good = BuildImage({{"alpha", kRet8}, {"beta", kCdecl}});
  const std::uint32_t dir = Raw(kDirRva);
  const struct {
    const char* what;
    std::function<void(Bytes&)> damage;
    OutcomeKind kind;
  } cases[] = {
      {"cut in the tables", [](Bytes& b) { b.resize(kDataRaw + 0x30); }, OutcomeKind::CutShort},
      {"header past the end", [](Bytes& b) { Put32(b, 0x3C, 0xFFFFFFF0); }, OutcomeKind::NotImportLibrary},
      {"no PE signature", [](Bytes& b) { b[kPeAt] = 'X'; }, OutcomeKind::NotImportLibrary},
      {"no export directory", [](Bytes& b) { Put32(b, kOptionalAt + 96, 0); }, OutcomeKind::NotImportLibrary},
      {"directory outside", [](Bytes& b) { Put32(b, kOptionalAt + 96, 0x7FFF0000); }, OutcomeKind::NotImportLibrary},
      {"absurd count", [&](Bytes& b) { Put32(b, dir + 20, 0xFFFFFFFF); }, OutcomeKind::NotImportLibrary},
      {"ordinals past 65535", [&](Bytes& b) { Put32(b, dir + 16, 0xFFFF); }, OutcomeKind::NotImportLibrary},
      {"names outside", [&](Bytes& b) { Put32(b, dir + 32, 0x90000); }, OutcomeKind::NotImportLibrary},
      {"name outside", [&](Bytes& b) { Put32(b, Raw(kDirRva + 48), 0x90000); }, OutcomeKind::NotImportLibrary},
      {"name without end",
       [&](Bytes& b) {
         Put32(b, Raw(kDirRva + 48), kDataRva + kSectionSize - 3);
         std::memset(&b[b.size() - 3], 'A', 3);
       },
       OutcomeKind::NotImportLibrary},
      {"name index past the table", [&](Bytes& b) { Put16(b, Raw(kDirRva + 56), 7); }, OutcomeKind::NotImportLibrary},
      {"overlapping tables", [&](Bytes& b) { Put32(b, dir + 32, kDirRva + 40); }, OutcomeKind::NotImportLibrary},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes image = good;
    c.damage(image);
    TempDir tmp;
    WriteFileBytes(tmp.File("x.dll"), image);
    TFichierLib lib;
    SetList(lib, {Entry("kept", 4, true)});
    const Outcome o = lib.ReadDllFile(tmp.File("x.dll"));
    EXPECT_EQ(o.Kind, c.kind) << Describe(o);
    EXPECT_FALSE(o.Detail.empty());
    EXPECT_EQ(lib.Fonctions.Count, 1u);
  }
}

// An ARM64X DLL's ARM64EC exports are those of the directory its ARM64X
// relocations put in place; a relocation table that lies is refused.
TEST(PeReaderTest, AHybridDllHasTwoViewsAndALyingRelocationTableIsRefused) {
  PeShape shape{.machine = Machine::Arm64, .hybridMetadata = true, .ecExports = {{"EcOnly"}, {"Shared"}}};
  const Bytes good = BuildPe({{"NativeOnly"}, {"Shared"}}, shape);
  TempDir tmp;
  WriteFileBytes(tmp.File("good.dll"), good);
  TFichierLib read;
  ASSERT_TRUE(read.ReadDllFile(tmp.File("good.dll")));
  EXPECT_EQ(read.SourceMachine, Machine::Arm64x);
  std::vector<std::string> views;
  for (const TFonctionLib& e : ListOf(read)) views.push_back(e.Name + " " + std::string(ViewWord(e.Import.View)));
  EXPECT_EQ(views, (std::vector<std::string>{"EcOnly arm64ec", "NativeOnly arm64", "Shared both"}));
  // A view that exports nothing leaves the other's exports in that view.
  Bytes noEc = good;
  Put32(noEc, kArm64xBlockAt + 10, 0);
  Put32(noEc, kArm64xBlockAt + 16, 0);
  WriteFileBytes(tmp.File("no-ec.dll"), noEc);
  ASSERT_TRUE(read.ReadDllFile(tmp.File("no-ec.dll")));
  views.clear();
  for (const TFonctionLib& e : ListOf(read)) views.push_back(e.Name + " " + std::string(ViewWord(e.Import.View)));
  EXPECT_EQ(views, (std::vector<std::string>{"NativeOnly arm64", "Shared arm64"}));

  const struct {
    const char* what;
    std::function<void(Bytes&)> damage;
  } cases[] = {
      {"table of an unknown version", [](Bytes& b) { Put32(b, kDynamicRelocTableAt, 3); }},
      {"table past its section", [](Bytes& b) { Put32(b, kDynamicRelocTableAt + 4, 0x10000); }},
      {"fixups past the table", [](Bytes& b) { Put32(b, kArm64xGroupAt + 8, 0x100); }},
      {"block shorter than its header", [](Bytes& b) { Put32(b, kArm64xBlockAt + 4, 4); }},
      {"block past its group", [](Bytes& b) { Put32(b, kArm64xBlockAt + 4, 0x100); }},
      {"value cut by its block", [](Bytes& b) { Put32(b, kArm64xBlockAt + 4, 8 + 2 + 2); }},
      {"fixup of an unknown kind", [](Bytes& b) { b[kArm64xBlockAt + 9] |= 0x30; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes image = good;
    c.damage(image);
    WriteFileBytes(tmp.File("x.dll"), image);
    TFichierLib lib;
    SetList(lib, {Entry("kept", 4, true)});
    const Outcome o = lib.ReadDllFile(tmp.File("x.dll"));
    EXPECT_EQ(o.Kind, OutcomeKind::NotImportLibrary) << Describe(o);
    EXPECT_FALSE(o.Detail.empty());
    EXPECT_EQ(lib.Fonctions.Count, 1u);
  }
}

}  // namespace
