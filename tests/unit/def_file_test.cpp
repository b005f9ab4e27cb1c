#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/support/test_files.h"

namespace {

std::vector<std::string> ReadNames(const std::string& text, bool* allPascalZero = nullptr) {
  TempDir dir;
  std::string path = dir.File("x.def");
  WriteFileText(path, text);
  TFichierLib lib;
  lib.Fonctions.Item(0) = Entry("stale", 7, false);  // must be replaced
  EXPECT_TRUE(lib.ReadDefFile(path));
  std::vector<std::string> names;
  bool ok = true;
  for (const TFonctionLib& e : ListOf(lib)) {
    names.push_back(e.Name);
    ok = ok && e.ArgLength == 0 && e.IsPascal;
  }
  if (allPascalZero) *allPascalZero = ok;
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
      {"keyword in other case", "exports\nA\n", {}},
      {"keyword with trailing text", "EXPORTS foo\nA\n", {}},
      {"lines before the section ignored", "LIBRARY x\nDESCRIPTION 'y'\nEXPORTS\nA\n", {"A"}},
      {"two keywords", "EXPORTS\nA\nEXPORTS\nB\n", {"A", "B"}},
      {"blank lines skipped", "EXPORTS\n\n \t \nA\n\r\n\nB\n", {"A", "B"}},
      {"blanks around =", "EXPORTS\n \tFoo \t = \tBar\n", {"Foo"}},
      {"two = signs", "EXPORTS\nA=B=C\n", {"A"}},
      {"line starting with =", "EXPORTS\n=Foo\n", {""}},
      {"decorations kept", "EXPORTS\n_Foo@12=x\n", {"_Foo@12"}},
      {"no = gives the first word", "EXPORTS\nFoo @1 NONAME\nBar@8\n", {"Foo", "Bar@8"}},
      {"comments and statements are exports", "EXPORTS\n; note\nSECTIONS\n", {";", "SECTIONS"}},
      {"duplicates kept in order", "EXPORTS\nB\nA\nB\n", {"B", "A", "B"}},
      {"byte-order mark hides the keyword", "\xEF\xBB\xBF" "EXPORTS\nA\n", {}},
      {"byte-order mark before an earlier line", "\xEF\xBB\xBF\nEXPORTS\nA\n", {"A"}},
      {"high bytes are not trimmed", "EXPORTS\n\xa0" "Caf\xe9\xa0=x\n", {"\xa0" "Caf\xe9\xa0"}},
      {"empty file", "", {}},
      {"no keyword", "A\nB\n", {}},
      {"zero byte kept in a name", std::string("EXPORTS\nA\0B=x\n", 14), {std::string("A\0B", 3)}},
  };
  for (const Case& c : cases) {
    bool allPascalZero = false;
    EXPECT_EQ(ReadNames(c.text, &allPascalZero), c.names) << c.what;
    EXPECT_TRUE(allPascalZero) << c.what;
  }
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
      {{}, "EXPORTS\r\n"},
      {{Entry("Foo", 0, true)}, "EXPORTS\r\n    Foo=Foo\r\n"},
      {{Entry("", 0, true)}, "EXPORTS\r\n    =\r\n"},
      // Convention and length are not written; equal names are each written.
      {{Entry("A", 8, true), Entry("A", 0, false), Entry("_B@4", -1, false)},
       "EXPORTS\r\n    A=A\r\n    A=A\r\n    _B@4=_B@4\r\n"},
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
    EXPECT_EQ(back.Fonctions.Item(i), Entry(list[i].Name, 0, true));
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

}  // namespace
