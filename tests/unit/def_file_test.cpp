#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "model/decorated_names.h"
#include "tests/support/test_files.h"

namespace {

// The names a file gives, or "refused: " and the reason; the list keeps
// its entry when the file is refused.
std::vector<std::string> ReadNames(const std::string& text) {
  TempDir dir;
  std::string path = dir.File("x.def");
  WriteFileText(path, text);
  TFichierLib lib;
  lib.Fonctions.Item(0) = Entry("stale", 7, false);  // must be replaced
  const Outcome read = lib.ReadDefFile(path);
  if (!read) {
    EXPECT_EQ(read.Kind, OutcomeKind::Refused);
    EXPECT_EQ(ListOf(lib), std::vector<TFonctionLib>{Entry("stale", 7, false)});
    return {"refused: " + read.Detail};
  }
  std::vector<std::string> names;
  for (const TFonctionLib& e : ListOf(lib)) names.push_back(e.Name);
  return names;
}

using Names = std::vector<std::string>;

TEST(DefReaderTest, Syntax) {
  struct Case {
    const char* what;
    std::string text;
    Names names;
  };
  const Case cases[] = {
      {"LF", "EXPORTS\n    A=A\n    B=B\n", {"A", "B"}},
      {"CR LF", "EXPORTS\r\n    A=A\r\n    B=B\r\n", {"A", "B"}},
      {"stray CR inside a line", "EXP\rORTS\nFo\ro=x\n", {"Foo"}},
      {"last line without line feed", "EXPORTS\nA=A\nB", {"A", "B"}},
      {"keyword with blanks around", " \tEXPORTS \t\nA\n", {"A"}},
      {"keyword in other case", "exports\nA\n", {"refused: line 1: 'exports' is no statement of a .def file"}},
      {"exports on the keyword's line", "EXPORTS foo\nA\n", {"foo", "A"}},
      {"lines before the section ignored", "LIBRARY x\nDESCRIPTION 'y'\nEXPORTS\nA\n", {"A"}},
      {"two keywords", "EXPORTS\nA\nEXPORTS\nB\n", {"A", "B"}},
      {"blank lines skipped", "EXPORTS\n\n \t \nA\n\r\n\nB\n", {"A", "B"}},
      {"blanks around =", "EXPORTS\n \tFoo \t = \tBar\n", {"Foo"}},
      {"two = signs", "EXPORTS\nA=B=C\n", {"refused: line 2: '=' out of place"}},
      {"line starting with =", "EXPORTS\n=Foo\n", {"refused: line 2: '=' out of place"}},
      {"decorations read", "EXPORTS\n_Foo@12=x\n", {"_Foo"}},
      {"each word an export", "EXPORTS\nFoo Bar\nBaz x@8\n", {"Foo", "Bar", "Baz", "x"}},
      {"comments and statements are no exports", "EXPORTS\n; basic\n  Foo ; note\nSECTIONS\n", {"Foo"}},
      {"statements an import library takes nothing from",
       "LIBRARY x BASE=0x1000\nNAME y WINDOWAPI\nDESCRIPTION 'd'\nCODE PRELOAD\nDATA READ WRITE\n"
       "HEAPSIZE 1024,512\nSTACKSIZE 4096\nSTUB 'w.exe'\nEXETYPE WINDOWS\nVERSION 1.2\n"
       "SECTIONS\n .sh READ WRITE SHARED\n Foo\nIMPORTS\n M=USER.1\nEXPORTS\nA\nDESCRIPTION 'late'\n",
       {"A"}},
      {"a word before any statement", "A\nEXPORTS\nB\n", {"refused: line 1: 'A' is no statement of a .def file"}},
      {"an export after another statement", "EXPORTS\nA\nVERSION 1\nB\n",
       {"refused: line 4: 'B' is no statement of a .def file"}},
      {"duplicates kept in order", "EXPORTS\nB\nA\nB\n", {"B", "A", "B"}},
      {"byte-order mark", "\xEF\xBB\xBF" "EXPORTS\nA\n",
       {"refused: line 1: a byte-order mark, which the librarians take for part of a word: save the file "
        "without it"}},
      {"high bytes are not trimmed", "EXPORTS\n\xa0" "Caf\xe9\xa0=x\n", {"\xa0" "Caf\xe9\xa0"}},
      {"empty file", "", {}},
      {"no keyword", "A\nB\n", {"refused: line 1: 'A' is no statement of a .def file"}},
      {"zero byte kept in a name", std::string("EXPORTS\nA\0B=x\n", 14), {std::string("A\0B", 3)}},
      // What the librarians refuse, said with its line.
      {"EXPORTAS without its name", "EXPORTS\nA\nmydata EXPORTAS\nB\n",
       {"refused: line 3: EXPORTAS needs the name the DLL exports, on its line"}},
      {"EXPORTAS not last", "EXPORTS\nmydata EXPORTAS expdata DATA\n",
       {"refused: line 2: 'DATA' after EXPORTAS expdata: EXPORTAS and its name end the export"}},
      {"EXPORTAS then an ordinal", "EXPORTS\nf EXPORTAS x\n @1\n",
       {"refused: line 3: '@1' after EXPORTAS x: EXPORTAS and its name end the export"}},
      {"an ordinal with no name", "EXPORTS\n@7 NONAME\nA\n", {"refused: line 2: '@7' follows no export"}},
      {"ordinal above 65535", "EXPORTS\nFoo @70000\n", {"refused: line 2: ordinal 70000 is above 65535"}},
      {"'@' without its ordinal", "EXPORTS\nFoo @\n3\n", {"refused: line 2: '@' needs the ordinal after it, on its line"}},
      {"NONAME without an ordinal", "EXPORTS\nFoo NONAME\n", {"refused: line 2: NONAME needs the ordinal before it"}},
      {"'==' without its name", "EXPORTS\nHalf ==\nNext\n",
       {"refused: line 2: '==' needs the name the loader looks up, on its line"}},
      {"a comma", "EXPORTS\nFoo, @1\n", {"refused: line 2: ',' out of place"}},
      {"a quote never closed", "EXPORTS\n\"open @1\n", {"refused: line 2: a quote is never closed"}},
      {"a statement inside a line", "EXPORTS\nFoo LIBRARY x\n", {"refused: line 2: 'LIBRARY' out of place"}},
  };
  for (const Case& c : cases) EXPECT_EQ(ReadNames(c.text), c.names) << c.what;
}

TEST(ReadLineTest, ReportsPendingTextAtTheEnd) {
  TempDir dir;
  std::string path = dir.File("l");
  WriteFileText(path, "a\r\n\nb");
  HANDLE h = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  AnsiString line = "junk";
  EXPECT_TRUE(ReadLine(h, line));
  EXPECT_EQ(line, "a");
  EXPECT_TRUE(ReadLine(h, line));
  EXPECT_EQ(line, "");
  EXPECT_TRUE(ReadLine(h, line));
  EXPECT_EQ(line, "b");
  EXPECT_FALSE(ReadLine(h, line));
  EXPECT_EQ(line, "");
  CloseHandle(h);
}

TEST(DefWriterTest, ExactBytes) {
  struct Case {
    std::vector<TFonctionLib> list;
    std::string bytes;
  };
  const Case cases[] = {
      // The DLL is named after the output, as the libraries name it.
      {{}, "LIBRARY \"out.dll\"\r\nEXPORTS\r\n"},
      // A name alone is a C function; one that pops no argument bytes says
      // its length, 0.
      {{Entry("Foo", 0, true)}, "LIBRARY \"out.dll\"\r\nEXPORTS\r\n    Foo@0\r\n"},
      // Convention and length are written; equal names are each written.
      {{Entry("A", 8, true), Entry("A", 0, false), Entry("_B@4", -1, false)},
       "LIBRARY \"out.dll\"\r\nEXPORTS\r\n    A@8\r\n    A\r\n    _B@4\r\n"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    std::string path = dir.File("out.def");
    TFichierLib lib;
    SetList(lib, c.list);
    EXPECT_TRUE(lib.WriteDefFile(path));
    EXPECT_EQ(ReadFileText(path), c.bytes);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.def"});
  }
}

TEST(DefWriterTest, OverwritesALongerFileAndReadsBack) {
  TempDir dir;
  std::string path = dir.File("out.def");
  WriteFileText(path, std::string(5000, 'z'));
  TFichierLib lib;
  std::vector<TFonctionLib> list;
  for (int i = 0; i < 300; ++i) list.push_back(Entry("Fn" + std::to_string(i % 120), i, i % 2));
  SetList(lib, list);
  ASSERT_TRUE(lib.WriteDefFile(path));
  std::string text = ReadFileText(path);
  EXPECT_EQ(text.find('z'), std::string::npos);

  TFichierLib back;
  ASSERT_TRUE(back.ReadDefFile(path));
  ASSERT_EQ(back.Fonctions.Count, list.size());
  for (std::uint32_t i = 0; i < list.size(); ++i)
    EXPECT_EQ(back.Fonctions.Item(i),
              Imported(Entry(list[i].Name, list[i].IsPascal ? i : 0, list[i].IsPascal), "out.dll"));
}

TEST(DefWriterTest, KeepsFileModeOfTheFileItReplaces) {
  TempDir dir;
  std::string path = dir.File("mode.def");
  WriteFileText(path, "old");
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  TFichierLib lib;
  ASSERT_TRUE(lib.WriteDefFile(path));
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

// An entry with everything it says of its import, for one comparison:
// name, convention, length, client symbol ("!" when carried whole), then
// how the loader finds it, its kind, PRIVATE, forwarder and DLL.
std::string Show(const TFonctionLib& e, Machine machine = Machine::Unknown) {
  const ImportBinding& b = e.Import;
  std::string s = e.Name + (e.IsPascal ? " _pascal " : " _stdcall ") +
                  std::to_string(e.ArgLength) + " " + MicrosoftName(e, machine) +
                  (b.Symbol.empty() ? "" : "!");
  if (b.ByOrdinal) s += " by @" + std::to_string(b.Ordinal);
  if (!b.ExportName.empty()) s += " as " + b.ExportName;
  if (!b.ByOrdinal && b.Ordinal != 0) s += " @" + std::to_string(b.Ordinal);
  if (b.NoName) s += " NONAME";
  if (b.Kind == ImportKind::Data) s += " DATA";
  if (b.Kind == ImportKind::Const) s += " CONSTANT";
  if (b.Private) s += " PRIVATE";
  if (!b.ForwardTo.empty()) s += " =" + b.ForwardTo;
  if (!b.Dll.empty()) s += " in " + b.Dll;
  return s;
}

std::vector<std::string> Shown(TFichierLib& lib) {
  std::vector<std::string> shown;
  for (const TFonctionLib& e : ListOf(lib)) shown.push_back(Show(e, lib.SourceMachine));
  return shown;
}

std::vector<std::string> ReadShown(const std::string& text) {
  TempDir dir;
  WriteFileText(dir.File("x.def"), text);
  TFichierLib lib;
  EXPECT_TRUE(lib.ReadDefFile(dir.File("x.def")));
  return Shown(lib);
}

std::string InModule(const std::string& line) { return "LIBRARY fmod\nEXPORTS\n" + line + "\n"; }

struct ReadCase {
  std::string text;
  Names shown;
};

// Names are read the way llvm-dlltool -m i386 -k reads them: "N" is the
// client symbol "_N" unless N is decorated already, and is looked up by
// its undecorated name.
const ReadCase kModernLines[] = {
    // A plain name is a C function, an Itanium one too: what a C caller
    // links against.
    {InModule("Foo"), {"Foo _stdcall 0 _Foo as Foo in fmod.dll"}},
    {InModule("Foo=Foo"), {"Foo _stdcall 0 _Foo as Foo in fmod.dll"}},
    {InModule("_Z3addii"), {"_Z3addii _stdcall 0 __Z3addii as _Z3addii in fmod.dll"}},
    {InModule("Foo@0"), {"Foo _pascal 0 _Foo@0 as Foo in fmod.dll"}},
    {InModule("Foo @3"), {"Foo _stdcall 0 _Foo as Foo @3 in fmod.dll"}},
    {InModule("Foo@8 @ 3"), {"Foo _pascal 8 _Foo@8 as Foo @3 in fmod.dll"}},
    {InModule("_Foo@8 DATA"), {"_Foo _pascal 8 __Foo@8 as _Foo DATA in fmod.dll"}},
    {InModule("Foo @4 NONAME"), {"Foo _stdcall 0 _Foo by @4 NONAME in fmod.dll"}},
    {InModule("Dec@16 @0 NONAME CONSTANT"),
     {"Dec _pascal 16 _Dec@16 by @0 NONAME CONSTANT in fmod.dll"}},
    {InModule("@Fast@8 @5"), {"Fast _pascal 8 @Fast@8! as Fast @5 in fmod.dll"}},
    {InModule("?cpp@@YAXXZ PRIVATE"),
     {"?cpp@@YAXXZ _stdcall 0 ?cpp@@YAXXZ! as ?cpp@@YAXXZ PRIVATE in fmod.dll"}},
    {InModule("a@@b DATA"), {"a _pascal 0 a@@b! as a DATA in fmod.dll"}},
    {InModule("\"a b\""), {"a b _stdcall 0 _a b as a b in fmod.dll"}},
    {InModule("a\"b PRIVATE"), {"a\"b _stdcall 0 _a\"b as a\"b PRIVATE in fmod.dll"}},
    {InModule("Cst CONSTANT DATA"), {"Cst _stdcall 0 _Cst as Cst CONSTANT in fmod.dll"}},
    {InModule("Fwd=OTHER.Func @7"), {"Fwd _stdcall 0 _Fwd as Fwd @7 =OTHER.Func in fmod.dll"}},
    {InModule("Ren=\"Inter nal\" DATA"), {"Ren _stdcall 0 _Ren as Ren DATA in fmod.dll"}},
    // "== E" looks up E, wherever it stands among the attributes, and so
    // does a last "EXPORTAS E"; an import by ordinal alone has no name to
    // look up.
    {InModule("FMUSIC_FreeSong@4 == _FMUSIC_FreeSong@4"),
     {"FMUSIC_FreeSong _pascal 4 _FMUSIC_FreeSong@4 as _FMUSIC_FreeSong@4 in fmod.dll"}},
    {InModule("Baz == \"Q x\" @2 DATA"), {"Baz _stdcall 0 _Baz as Q x @2 DATA in fmod.dll"}},
    {InModule("?v@@3HA DATA==?v@@3HA"), {"?v@@3HA _stdcall 0 ?v@@3HA! as ?v@@3HA DATA in fmod.dll"}},
    {InModule("Ord @3 NONAME == x"), {"Ord _stdcall 0 _Ord by @3 NONAME in fmod.dll"}},
    {InModule("func EXPORTAS expfunc"), {"func _stdcall 0 _func as expfunc in fmod.dll"}},
    {InModule("d@4 DATA == y EXPORTAS \"d x\""), {"d _pascal 4 _d@4 as d x DATA in fmod.dll"}},
    // One-word attributes on the lines after the name are its own, as
    // both dlltools read them; any other word is the next export.
    {InModule("Foo\n  @7 NONAME"), {"Foo _stdcall 0 _Foo by @7 NONAME in fmod.dll"}},
    {InModule("Dat ; note\n  DATA\n  PRIVATE"), {"Dat _stdcall 0 _Dat as Dat DATA PRIVATE in fmod.dll"}},
    {InModule("A B=b @Fast@8"),
     {"A _stdcall 0 _A as A in fmod.dll", "B _stdcall 0 _B as B in fmod.dll",
      "Fast _pascal 8 @Fast@8! as Fast in fmod.dll"}},
    {InModule("Foo DATA junk"), {"Foo _stdcall 0 _Foo as Foo DATA in fmod.dll", "junk _stdcall 0 _junk as junk in fmod.dll"}},
    {InModule("Foo@8 ; note"), {"Foo _pascal 8 _Foo@8 as Foo in fmod.dll"}},
    {"EXPORTS\nFSOUND_Init@12\n_Under@4\nN@4=N@4\n",
     {"FSOUND_Init _pascal 12 _FSOUND_Init@12 as FSOUND_Init", "_Under _pascal 4 __Under@4 as _Under",
      "N _pascal 4 _N@4 as N"}},
    {InModule("; note"), {}},
    {"EXPORTS\n?f@@YAXXZ=?f@@YAXXZ\n", {"?f@@YAXXZ _stdcall 0 ?f@@YAXXZ! as ?f@@YAXXZ"}},
    // The module's file name.
    {"LIBRARY \"my lib.drv\" BASE=0x1000\nEXPORTS\nA\n", {"A _stdcall 0 _A as A in my lib.drv"}},
    {"NAME prog\nEXPORTS\nA\n", {"A _stdcall 0 _A as A in prog.exe"}},
    {"LIBRARY a\nLIBRARY b\nEXPORTS\nA\n", {"A _stdcall 0 _A as A in a.dll"}},
    {"EXPORTS\nA @1\nLIBRARY dir.v2/late\n", {"A _stdcall 0 _A as A @1 in dir.v2/late.dll"}},
    {"LIBRARY \"\"\nEXPORTS\nA\n", {"A _stdcall 0 _A as A"}},
    // Without a module statement comments are comments all the same.
    {"EXPORTS\n; basic\n  Foo ; note\n", {"Foo _stdcall 0 _Foo as Foo"}},
};

TEST(DefReaderTest, ModernForms) {
  for (const ReadCase& c : kModernLines) EXPECT_EQ(ReadShown(c.text), c.shown) << c.text;
}

TFonctionLib Bound(TFonctionLib e, const std::function<void(ImportBinding&)>& set) {
  set(e.Import);
  return e;
}

TEST(DefWriterTest, BindingLines) {
  struct Case {
    std::vector<TFonctionLib> list;
    std::string bytes;
  };
  const std::string head = "LIBRARY \"fmod.dll\"\r\nEXPORTS\r\n    ";
  // A list that names no DLL imports from the one named after the file.
  const std::string out = "LIBRARY \"out.dll\"\r\n";
  const Case cases[] = {
      {{Bound(Entry("Foo", 8, true), [](ImportBinding& b) { b.Dll = "fmod.dll"; }),
        Bound(Entry("Bar", 0, false), [](ImportBinding& b) { b.Dll = "FMOD.DLL"; })},
       head + "Foo@8\r\n    Bar\r\n"},
      {{Bound(Entry("Foo", 8, true), [](ImportBinding& b) { b.ExportName = "Foo"; })},
       out + "EXPORTS\r\n    Foo@8\r\n"},
      {{Bound(Entry("Bar", 0, false), [](ImportBinding& b) {
          b.Dll = "fmod.dll";
          b.ByOrdinal = true;
          b.Ordinal = 4;
        })},
       head + "Bar @4 NONAME\r\n"},
      {{Bound(Entry("Dat", 0, false), [](ImportBinding& b) {
          b.Ordinal = 3;
          b.Kind = ImportKind::Data;
          b.Private = true;
        })},
       out + "EXPORTS\r\n    Dat @3 DATA PRIVATE\r\n"},
      {{Bound(Entry("", 0, true), [](ImportBinding& b) {
          b.Symbol = "@f@8";
          b.Kind = ImportKind::Const;
        })},
       out + "EXPORTS\r\n    @f@8 CONSTANT\r\n"},
      {{Bound(Entry("?cpp@@YAXXZ", 0, false), [](ImportBinding& b) {
          b.Symbol = "?cpp@@YAXXZ";
          b.ExportName = "?cpp@@YAXXZ";
        })},
       out + "EXPORTS\r\n    ?cpp@@YAXXZ\r\n"},
      {{Bound(Entry("a b", 4, true), [](ImportBinding& b) { b.ForwardTo = "OTHER.a b"; })},
       out + "EXPORTS\r\n    \"a b@4\"=\"OTHER.a b\"\r\n"},
      {{Bound(Entry("DATA", 0, false), [](ImportBinding& b) { b.Private = true; })},
       out + "EXPORTS\r\n    \"DATA\" PRIVATE\r\n"},
      // An export name that is not the one both librarians derive from the
      // line is said after "=="; GNU dlltool wants a name that begins with
      // a digit quoted. No word holds the last one: its loss was named.
      {{BoundTo("_FMUSIC_FreeSong@4", "_FMUSIC_FreeSong@4", ImportKind::Code, "fmod.dll")},
       head + "FMUSIC_FreeSong@4 == _FMUSIC_FreeSong@4\r\n"},
      {{BoundTo("_Baz", "1st"), BoundTo("_a@b@8", "a"), BoundTo("_Foo@8", "Foo"),
        BoundTo("?v@@3HA", "?v@@3HA", ImportKind::Data), BoundTo("a@@b", "a"),
        BoundTo("_Q", "\"q\" x")},
       out + "EXPORTS\r\n    Baz == \"1st\"\r\n    a@b@8 == a\r\n    Foo@8\r\n"
             "    ?v@@3HA DATA == ?v@@3HA\r\n    a@@b\r\n    Q\r\n"},
      {{Bound(Entry("=", 0, false), [](ImportBinding& b) { b.ExportName = "="; })},
       out + "EXPORTS\r\n    \"=\"\r\n"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    TFichierLib lib;
    SetList(lib, c.list);
    const Outcome outcome = lib.WriteDefFile(dir.File("out.def"));
    ASSERT_TRUE(outcome) << outcome.Detail;
    EXPECT_EQ(ReadFileText(dir.File("out.def")), c.bytes);
    if (c.list[0].Name == "=") {
      TFichierLib back;
      ASSERT_TRUE(back.ReadDefFile(dir.File("out.def")));
      EXPECT_EQ(ListOf(back), From("out.dll", c.list));
      EXPECT_EQ(back.Fonctions.Item(0).Import.ExportName, "=");
    }
  }
}

TEST(DefWriterTest, RefusesWhatNoDefFileCanSayAndKeepsTheOldFile) {
  const std::vector<TFonctionLib> cases[] = {
      {Bound(Entry("A", 0, false), [](ImportBinding& b) { b.Dll = "a.dll"; }),
       Entry("B", 0, false),
       Bound(Entry("C", 0, false), [](ImportBinding& b) { b.Dll = "c.dll"; })},
      {Bound(Entry("Foo", 0, false), [](ImportBinding& b) { b.Symbol = "Foo"; })},
      {Bound(Entry("", 0, true), [](ImportBinding& b) { b.Symbol = "@12"; })},
      {Bound(Entry("a\" b", 0, false), [](ImportBinding& b) { b.Private = true; })},
      {Bound(Entry("A", 0, false), [](ImportBinding& b) { b.Dll = "a\".dll"; })},
      // No line spells an empty name's symbol "_@0".
      {Entry("", 0, true)},
  };
  for (const auto& list : cases) {
    TempDir dir;
    WriteFileText(dir.File("out.def"), "old");
    TFichierLib lib;
    SetList(lib, list);
    const Outcome outcome = lib.WriteDefFile(dir.File("out.def"));
    EXPECT_EQ(outcome.Kind, OutcomeKind::Refused) << list.front().Name;
    EXPECT_FALSE(outcome.Detail.empty());
    EXPECT_EQ(ReadFileText(dir.File("out.def")), "old");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.def"});
  }
}

TEST(DefWriterTest, WhatItWritesReadsBackTheSame) {
  std::string text = "LIBRARY fmod\nEXPORTS\n";
  Names expected;
  for (const ReadCase& c : kModernLines) {
    if (!c.text.starts_with(InModule(""))) continue;
    text += c.text.substr(InModule("").size());
    expected.insert(expected.end(), c.shown.begin(), c.shown.end());
  }
  ASSERT_EQ(ReadShown(text), expected);
  TempDir dir;
  WriteFileText(dir.File("in.def"), text);
  TFichierLib lib;
  ASSERT_TRUE(lib.ReadDefFile(dir.File("in.def")));
  ASSERT_TRUE(lib.WriteDefFile(dir.File("out.def")));
  EXPECT_EQ(ReadShown(ReadFileText(dir.File("out.def"))), expected);
}

// Each machine's librarians read the names their own way: decorated on
// 32-bit Intel, each name its own symbol and export elsewhere, as
// llvm-dlltool -m i386:x86-64 / arm64 reads them, -k or not. The list
// takes the machine, and writes back the same lines' meaning.
TEST(DefReaderTest, EachMachineReadsItsOwnDialect) {
  const std::string text = InModule(
      "Bar@8\n_Under@4 @3\nBaz == Qux DATA\n?f@@YAXXZ\n@Fast@8\nNoN @9 NONAME\n"
      "Old=Old\n\"Plain\" CONSTANT PRIVATE");
  const Names decorated = {
      "Bar _pascal 8 _Bar@8 as Bar in fmod.dll",
      "_Under _pascal 4 __Under@4 as _Under @3 in fmod.dll",
      "Baz _stdcall 0 _Baz as Qux DATA in fmod.dll",
      "?f@@YAXXZ _stdcall 0 ?f@@YAXXZ! as ?f@@YAXXZ in fmod.dll",
      "Fast _pascal 8 @Fast@8! as Fast in fmod.dll",
      "NoN _stdcall 0 _NoN by @9 NONAME in fmod.dll",
      "Old _stdcall 0 _Old as Old in fmod.dll",
      "Plain _stdcall 0 _Plain as Plain CONSTANT PRIVATE in fmod.dll"};
  const Names plain = {
      "Bar@8 _stdcall 0 Bar@8 as Bar@8 in fmod.dll",
      "_Under@4 _stdcall 0 _Under@4 as _Under@4 @3 in fmod.dll",
      "Baz _stdcall 0 Baz as Qux DATA in fmod.dll",
      "?f@@YAXXZ _stdcall 0 ?f@@YAXXZ as ?f@@YAXXZ in fmod.dll",
      "@Fast@8 _stdcall 0 @Fast@8 as @Fast@8 in fmod.dll",
      "NoN _stdcall 0 NoN by @9 NONAME in fmod.dll",
      "Old _stdcall 0 Old as Old in fmod.dll",
      "Plain _stdcall 0 Plain as Plain CONSTANT PRIVATE in fmod.dll"};
  struct Case {
    Machine machine;
    const Names& shown;
  };
  const Case cases[] = {{Machine::Unknown, decorated}, {Machine::I386, decorated},
                        {Machine::Amd64, plain},       {Machine::Arm64, plain},
                        {Machine::Arm64ec, plain}};
  for (const Case& c : cases) {
    SCOPED_TRACE(MachineName(c.machine));
    TempDir dir;
    WriteFileText(dir.File("in.def"), text);
    TFichierLib lib;
    lib.SourceMachine = Machine::Arm64;  // an older list's machine goes with it
    ASSERT_TRUE(lib.ReadDefFile(dir.File("in.def"), c.machine));
    EXPECT_EQ(lib.SourceMachine, c.machine);
    EXPECT_EQ(Shown(lib), c.shown);
    ASSERT_TRUE(lib.WriteDefFile(dir.File("out.def")));
    TFichierLib back;
    ASSERT_TRUE(back.ReadDefFile(dir.File("out.def"), c.machine));
    EXPECT_EQ(Shown(back), c.shown) << ReadFileText(dir.File("out.def"));
  }
}

}  // namespace
