// The COFF import library reader: libraries of our own writer, first
// linker members laid out the way other producers lay them out, and files
// that are cut short or carry absurd counts.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "tests/support/test_files.h"

namespace {

std::string Padded(std::string text, std::size_t width) {
  text.resize(width, ' ');
  return text;
}

std::string MemberHeader(const std::string& name, std::size_t size) {
  return Padded(name, 16) + Padded("0", 12) + Padded("0", 6) + Padded("0", 6) + Padded("0", 8) +
         Padded(std::to_string(size), 10) + "`\n";
}

std::string Big32(std::uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}

std::string Little(std::uint32_t v, int bytes) {
  std::string s;
  for (int i = 0; i < bytes; ++i) s += static_cast<char>(std::uint64_t{v} >> (8 * i));
  return s;
}

// An archive whose first member is a linker member holding count, zero
// offsets and the names (each closed by a zero byte unless closeLast is
// false).
Bytes LinkerArchive(std::uint32_t count, const std::vector<std::string>& names,
                    bool closeLast = true) {
  std::string body = Big32(count) + std::string(4 * static_cast<std::size_t>(count), '\0');
  for (std::size_t i = 0; i < names.size(); ++i) {
    body += names[i];
    if (closeLast || i + 1 < names.size()) body += '\0';
  }
  return ToBytes("!<arch>\n" + MemberHeader("/", body.size()) + body);
}

struct Member {
  std::string data;
  std::vector<std::string> symbols;  // what the linker member names it for
};

// An archive of the members, with a first linker member naming each
// member's symbols at its offset.
Bytes Archive(const std::vector<Member>& members) {
  std::string names;
  std::uint32_t count = 0;
  for (const Member& m : members)
    for (const std::string& s : m.symbols) {
      names += s + '\0';
      ++count;
    }
  const std::size_t linkerSize = 4 + 4 * count + names.size();
  std::size_t at = 8 + 60 + linkerSize + linkerSize % 2;
  std::string offsets;
  std::string rest;
  for (const Member& m : members) {
    for (std::size_t i = 0; i < m.symbols.size(); ++i)
      offsets += Big32(static_cast<std::uint32_t>(at));
    rest += MemberHeader("x.dll/", m.data.size()) + m.data + (m.data.size() % 2 ? "\n" : "");
    at += 60 + m.data.size() + m.data.size() % 2;
  }
  std::string linker = Big32(count) + offsets + names;
  if (linker.size() % 2) linker += '\n';
  return ToBytes("!<arch>\n" + MemberHeader("/", linkerSize) + linker + rest);
}

// A short import member: import type in bits 0-1, name type in bits 2-4.
std::string ShortImport(const std::string& symbol, unsigned importType, unsigned nameType,
                        std::uint16_t hint = 0, const std::string& dll = "x.dll",
                        const std::string& tail = "", std::uint16_t machine = 0x14C) {
  const std::string strings = symbol + '\0' + dll + '\0' + tail;
  return Little(0, 2) + Little(0xFFFF, 2) + Little(0, 2) + Little(machine, 2) + Little(0, 4) +
         Little(static_cast<std::uint32_t>(strings.size()), 4) + Little(hint, 2) +
         Little(importType | nameType << 2, 2) + strings;
}

struct Read {
  Outcome outcome;
  std::vector<TFonctionLib> list;
};

Read ReadBytes(const Bytes& bytes, const std::vector<TFonctionLib>& before = {}) {
  TempDir dir;
  const std::string path = dir.File("in.lib");
  WriteFileBytes(path, bytes);
  TFichierLib lib;
  SetList(lib, before);
  Read r{lib.ReadCoffLibrary(path), {}};
  r.list = ListOf(lib);
  // The file was closed: nobody holds it any more.
  HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(h, INVALID_HANDLE_VALUE);
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  return r;
}

const std::vector<std::string> kFixed = {"__IMPORT_DESCRIPTOR_x", "__NULL_IMPORT_DESCRIPTOR",
                                         "\x7Fx_NULL_THUNK_DATA"};

std::vector<std::string> WithFixed(std::vector<std::string> names, bool fixedFirst = true) {
  names.insert(fixedFirst ? names.begin() : names.end(), kFixed.begin(), kFixed.end());
  return names;
}

TEST(CoffReaderTest, OurLibrariesReadBackInListOrder) {
  TempDir dir;
  const std::string path = dir.File("mylib.lib");
  TFichierLib lib;
  SetList(lib, {Entry("Zeta", 8, true), Entry("Alpha", 0, false), Entry("Mid", 12, true),
                Entry("Zeta", 8, true), Entry("Odd", 4, false), Entry("a@b", 8, true),
                Entry("c@16", 0, false), Entry("_Under", 0, false), Entry("", 0, true),
                Entry("_imp_Odd", 0, false), Entry("_imp__Twice", 4, true),
                // "_" and "__imp__": the second's symbol is the first's import name.
                Entry("", 0, false), Entry("_imp__", 0, false)});
  ASSERT_TRUE(lib.WriteCoffLibrary(path));
  TFichierLib back;
  SetList(back, {Entry("stale", 1, true)});
  ASSERT_TRUE(back.ReadCoffLibrary(path));
  // A _stdcall length is not in the symbol; an at sign in a name cuts it.
  EXPECT_EQ(
      ListOf(back),
      From("mylib.dll",
           {Entry("Zeta", 8, true), Entry("Alpha", 0, false), Entry("Mid", 12, true),
            Entry("Zeta", 8, true), Entry("Odd", 0, false), Entry("a", 0, true), Entry("c", 16, true),
            Entry("_Under", 0, false), Entry("", 0, true), Entry("_imp_Odd", 0, false),
            Entry("_imp__Twice", 4, true), Entry("", 0, false), Entry("_imp__", 0, false)}));
  // Each import binds as our writer made it: by undecorated name, from
  // the DLL named after the file.
  const ImportBinding& zeta = back.Fonctions.Item(0).Import;
  EXPECT_EQ(zeta.Dll, "mylib.dll");
  EXPECT_EQ(zeta.ExportName, "Zeta");
  EXPECT_FALSE(zeta.ByOrdinal);
  TFichierLib again;
  ASSERT_TRUE(again.ReadCoffLibrary(path));
  EXPECT_EQ(ListOf(again), ListOf(back));
}

TEST(CoffReaderTest, EveryImportNameGivesOneEntryWhateverTheOrder) {
  struct Case {
    const char* what;
    std::vector<std::string> names;
    std::vector<TFonctionLib> expected;
  };
  const std::vector<Case> cases = {
      {"plain symbol first",
       WithFixed({"_Foo@8", "__imp__Foo@8", "_Bar", "__imp__Bar"}),
       {Entry("Foo", 8, true), Entry("Bar", 0, false)}},
      {"import name first",
       WithFixed({"__imp__Foo@8", "_Foo@8", "__imp__Bar", "_Bar"}),
       {Entry("Foo", 8, true), Entry("Bar", 0, false)}},
      {"both orders mixed, a data import between",
       WithFixed({"_A@4", "__imp__A@4", "__imp__Data", "__imp__B", "_B"}),
       {Entry("A", 4, true), Entry("Data", 0, false), Entry("B", 0, false)}},
      {"descriptor names last",
       WithFixed({"__imp__Foo@8", "_Foo@8"}, false),
       {Entry("Foo", 8, true)}},
      {"a symbol that looks like an import name, after or before its own",
       WithFixed({"__imp__A", "__imp_Sym", "__imp___imp_Sym", "__imp___imp_B", "__imp_B"}),
       {Entry("A", 0, false), Entry("_imp_Sym", 0, false), Entry("_imp_B", 0, false)}},
      {"undecorated and odd symbols",
       WithFixed({"__imp_Plain", "__imp___Double", "__imp__X@", "__imp__Y@x", "__imp__Z@-4",
                  "__imp__a@b@8", "__imp_"}),
       {Entry("Plain", 0, false), Entry("_Double", 0, false), Entry("X", 0, true),
        Entry("Y", 0, true), Entry("Z", -4, true), Entry("a", 0, true), Entry("", 0, false)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Read r = ReadBytes(LinkerArchive(static_cast<std::uint32_t>(c.names.size()), c.names));
    EXPECT_TRUE(r.outcome);
    EXPECT_EQ(r.list, c.expected);
  }
}

TEST(CoffReaderTest, WhatAFileThatIsNoWholeImportLibraryGives) {
  const std::vector<std::string> names = WithFixed({"__imp__A", "_A", "__imp__B", "_B"});
  std::vector<std::string> gap = names;
  gap[5] = "";  // two zero bytes in a row
  const Bytes seven = LinkerArchive(7, names);
  const std::string blank = "!<arch>\n" + std::string(60, ' ');
  struct Case {
    const char* what;
    Bytes bytes;
    OutcomeKind kind;
    std::uint64_t count;  // the outcome's count
    std::size_t entries;
  };
  const std::vector<Case> cases = {
      {"empty file", {}, OutcomeKind::NotImportLibrary, 0, 0},
      {"no archive", ToBytes("!<arch>x"), OutcomeKind::NotImportLibrary, 0, 0},
      {"signature only", ToBytes("!<arch>\n"), OutcomeKind::NotImportLibrary, 0, 0},
      {"first member not a linker member",
       ToBytes("!<arch>\n" + MemberHeader("a.obj/", 4) + "abcd"), OutcomeKind::NotImportLibrary, 0,
       0},
      {"linker member naming nothing", LinkerArchive(0, {}), OutcomeKind::NotImportLibrary, 0, 0},
      {"descriptor names only", LinkerArchive(3, names), OutcomeKind::Done, 0, 0},
      {"count 5 reads the first import only", LinkerArchive(5, names), OutcomeKind::Done, 0, 1},
      {"header cut short", Bytes(seven.begin(), seven.begin() + 40), OutcomeKind::CutShort, 0, 0},
      {"no complete count", Bytes(seven.begin(), seven.begin() + 71), OutcomeKind::CutShort, 0, 0},
      {"offsets cut short", Bytes(seven.begin(), seven.begin() + 80), OutcomeKind::CutShort, 0, 0},
      {"string table cut short", LinkerArchive(9, names), OutcomeKind::CutShort, 2, 2},
      {"empty name inside", LinkerArchive(7, gap), OutcomeKind::CutShort, 1, 1},
      {"last name without its zero", LinkerArchive(8, names, false), OutcomeKind::CutShort, 2, 2},
      {"count far beyond the file, blank header", ToBytes(blank + "\x7F\xFF\xFF\xFF" + "tail"),
       OutcomeKind::CutShort, 0, 0},
      {"count with the top bit", ToBytes(blank + std::string("\x80\0\0\0", 4) + "_A"),
       OutcomeKind::CutShort, 0, 0},
      {"objects and no import", Archive({{"object one", {"_f", "_g"}}, {"object two", {"_h"}}}),
       OutcomeKind::StaticLibrary, 2, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Read r = ReadBytes(c.bytes);
    EXPECT_EQ(r.outcome.Kind, c.kind) << Describe(r.outcome);
    EXPECT_EQ(r.outcome.Count, c.count);
    EXPECT_EQ(r.list.size(), c.entries);
  }
}

std::string BindingText(const ImportBinding& b) {
  const char* kinds[] = {"code", "data", "const"};
  return b.Dll + " " + (b.ByOrdinal ? "@" + std::to_string(b.Ordinal) : "'" + b.ExportName + "'") +
         " " + kinds[static_cast<int>(b.Kind)] + (b.Symbol.empty() ? "" : " symbol " + b.Symbol);
}

TEST(CoffReaderTest, AShortImportMemberGivesTheBinding) {
  struct Case {
    const char* what;
    std::string member;
    std::string symbol;  // its import name less "__imp_"
    TFonctionLib entry;
    std::string binding;  // BindingText, or "" for an empty binding
  };
  const TFonctionLib foo = Entry("Foo", 8, true);
  TFonctionLib cpp = Entry("?f@@YAXH@Z", 0, false);
  TFonctionLib fast = Entry("f", 8, true);
  const std::vector<Case> cases = {
      {"by ordinal", ShortImport("_Foo@8", 0, 0, 7, "fmod.dll"), "_Foo@8", foo, "fmod.dll @7 code"},
      {"by the name as it is", ShortImport("_Foo@8", 0, 1), "_Foo@8", foo, "x.dll '_Foo@8' code"},
      {"without prefix", ShortImport("_Foo@8", 1, 2), "_Foo@8", foo, "x.dll 'Foo@8' data"},
      {"undecorated", ShortImport("_Foo@8", 2, 3), "_Foo@8", foo, "x.dll 'Foo' const"},
      {"exported as", ShortImport("_Foo@8", 0, 4, 3, "x.dll", std::string("Bar\0", 4)), "_Foo@8",
       foo, "x.dll 'Bar' code"},
      {"a C++ name, whole", ShortImport("?f@@YAXH@Z", 0, 1), "?f@@YAXH@Z", cpp,
       "x.dll '?f@@YAXH@Z' code symbol ?f@@YAXH@Z"},
      {"a fastcall name, whole", ShortImport("@f@8", 0, 3), "@f@8", fast,
       "x.dll 'f' code symbol @f@8"},
      {"a length not in its shortest form", ShortImport("_Foo@08", 0, 1), "_Foo@08", foo,
       "x.dll '_Foo@08' code symbol _Foo@08"},
      {"no leading underscore", ShortImport("Foo@8", 0, 2), "Foo@8", Entry("Foo", 8, true),
       "x.dll 'Foo@8' code symbol Foo@8"},
      {"another symbol's member", ShortImport("_Bar@8", 0, 1), "_Foo@8", foo, ""},
  };
  // Slots past a cleared list keep the older entries' fields: none may show.
  TFonctionLib stale = Entry("Old", 4, true);
  stale.Unsure = true;
  stale.Import.Dll = "old.dll";
  stale.Import.Ordinal = 9;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Read r = ReadBytes(Archive({{c.member, {"__imp_" + c.symbol}}}), {stale});
    EXPECT_TRUE(r.outcome) << Describe(r.outcome);
    ASSERT_EQ(r.list.size(), 1u);
    const TFonctionLib& e = r.list[0];
    TFonctionLib want = c.entry;
    want.Import = e.Import;  // compared whole, as BindingText, below
    EXPECT_EQ(e, want);
    EXPECT_FALSE(e.Unsure);
    EXPECT_EQ(MicrosoftName(e), c.symbol);
    if (c.binding.empty())
      EXPECT_TRUE(e.Import.Empty()) << BindingText(e.Import);
    else
      EXPECT_EQ(BindingText(e.Import), c.binding);
  }
}

// One short import no linker could act on refuses the library, whose other
// imports would make one that silently lacks it; a file that ends inside
// it is cut short.
TEST(CoffReaderTest, AShortImportThatCannotBindRefusesTheLibrary) {
  struct Case {
    const char* what;
    std::string member;
    OutcomeKind kind;
    std::string reason;  // after "member 2, the short import of _Foo@8, "
    std::size_t cutBytes = 0;  // taken off the file's end
  };
  const std::vector<Case> cases = {
      {"import type 3", ShortImport("_Foo@8", 3, 1), OutcomeKind::Refused, "has unknown import type 3"},
      {"name type 5", ShortImport("_Foo@8", 0, 5), OutcomeKind::Refused, "has unknown name type 5"},
      {"unknown machine", ShortImport("_Foo@8", 0, 1, 0, "x.dll", "", 0x1C0), OutcomeKind::Refused,
       "is for unknown machine 0x01C0"},
      {"export-as name missing", ShortImport("_Foo@8", 0, 4), OutcomeKind::Refused,
       "ends before its names do"},
      {"DLL name without its zero", ShortImport("_Foo@8", 0, 1).substr(0, 32), OutcomeKind::Refused,
       "ends before its names do"},
      {"header only", ShortImport("_Foo@8", 0, 1).substr(0, 20), OutcomeKind::Refused,
       "ends before its names do"},
      {"the file ends in its DLL name", ShortImport("_Foo@8", 0, 1), OutcomeKind::CutShort,
       "ends before its names do", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes file = Archive({{ShortImport("_A", 0, 1), {"__imp__A"}}, {c.member, {"__imp__Foo@8"}}});
    file.resize(file.size() - c.cutBytes);
    const Read r = ReadBytes(file);
    EXPECT_EQ(r.outcome.Kind, c.kind);
    EXPECT_NE(Describe(r.outcome).find("member 2, the short import of _Foo@8, " + c.reason),
              std::string::npos)
        << Describe(r.outcome);
  }
}

TEST(CoffReaderTest, AMemberAnotherImportsOrPastTheEndBindsNothing) {
  Bytes file = Archive({{ShortImport("_A", 0, 1), {"__imp__A", "__imp__B", "__imp__C"}}});
  // B shares A's member, which only binds A; C's member lies past the end.
  const std::size_t thirdOffset = 8 + 60 + 4 + 2 * 4;
  for (std::size_t i = 0; i < 4; ++i) file[thirdOffset + i] = 0xFF;
  const Read r = ReadBytes(file);
  EXPECT_EQ(r.outcome.Kind, OutcomeKind::CutShort);
  EXPECT_EQ(Describe(r.outcome),
            "the file is cut short: only 3 entries could be read (1 import's member past the end "
            "of the file)");
  ASSERT_EQ(r.list.size(), 3u);
  EXPECT_EQ(r.list[0].Import.ExportName, "_A");
  EXPECT_TRUE(r.list[1].Import.Empty());
  EXPECT_TRUE(r.list[2].Import.Empty());
}

// Members whose data overlap, each an object whose symbol table is the
// same large one further on: reading them must not cost a pass over that
// table each.
TEST(CoffReaderTest, ObjectsSharingOneSymbolTableReadInLinearTime) {
  constexpr std::uint32_t kMembers = 20000;
  constexpr std::uint32_t kSymbols = 100000;
  std::string names;
  for (std::uint32_t i = 0; i < kMembers; ++i) names += "__imp_f" + std::to_string(i) + '\0';
  const std::size_t linkerSize = 4 + 4 * kMembers + names.size() + names.size() % 2;
  const std::size_t first = 8 + 60 + linkerSize;
  const std::size_t table = first + 60 * (kMembers + 1);
  std::string symbol =
      "x" + std::string(7, '\0') + Little(0, 4) + Little(1, 2) + Little(0, 2) + "\x02" + '\0';
  std::string members;
  std::string offsets;
  for (std::uint32_t i = 0; i <= kMembers; ++i) {
    const std::size_t at = first + 60 * i;
    if (i < kMembers) offsets += Big32(static_cast<std::uint32_t>(at));
    // The member's data starts with the next header: its first 20 bytes
    // are read as the object header (machine, no section, the table).
    const std::string object = Little(0x14C, 2) + Little(0, 6) +
                               Little(static_cast<std::uint32_t>(table - (at + 60)), 4) +
                               Little(kSymbols, 4);
    std::string header = object + std::string(2, '\0') + Padded("", 30) +
                         Padded(std::to_string(table + 18 * kSymbols - (at + 60)), 10) + "`\n";
    members += header;
  }
  std::string file =
      "!<arch>\n" + MemberHeader("/", linkerSize) + Big32(kMembers) + offsets + names;
  file.resize(first, '\n');
  file += members;
  file.resize(table, '\0');
  for (std::uint32_t i = 0; i < kSymbols; ++i) file += symbol;

  const auto start = std::chrono::steady_clock::now();
  const Read r = ReadBytes(ToBytes(file));
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // None of them defines its "__imp_" symbol: objects, not imports.
  EXPECT_EQ(r.outcome.Kind, OutcomeKind::StaticLibrary);
  // A pass over the table for each member is billions of reads: minutes.
  EXPECT_LT(seconds, 5.0);
}

TEST(CoffReaderTest, ReadZStringReadsUpToTheZeroByte) {
  TempDir dir;
  const std::string path = dir.File("z.bin");
  WriteFileBytes(path, Bytes{'a', 'b', 0, 0, 0xFF, 0x7F, 'c', 0, 'e', 'n', 'd'});
  HANDLE h = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ReadZString(h), "ab");
  EXPECT_EQ(ReadZString(h), "");
  EXPECT_EQ(ReadZString(h),
            "\xFF\x7F"
            "c");
  EXPECT_EQ(ReadZString(h), "end");  // the file ends first
  EXPECT_EQ(ReadZString(h), "");
  CloseHandle(h);
}

}  // namespace
