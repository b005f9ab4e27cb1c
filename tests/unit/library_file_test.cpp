#include <gtest/gtest.h>
#include <cerrno>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "files/file_kind.h"
#include "model/machine.h"
#include "tests/support/test_files.h"

namespace {

TEST(ArchiveSignatureTest, OnlyTheExactEightBytesMakeAnArchive) {
  struct Case {
    std::string bytes;
    bool archive;
  };
  for (const Case& c : {Case{"!<arch>\n", true}, Case{"!<arch>\nanything", true},
                        Case{"!<arch>\r\n", false}, Case{"!<ARCH>\n", false},
                        Case{"!<arch>", false}, Case{"", false},
                        Case{std::string("\xf0\x0d\x00", 3), false}}) {
    TempDir dir;
    std::string path = dir.File("x.lib");
    WriteFileText(path, c.bytes);
    TFichierLib lib;
    MessageBoxRecorder boxes;
    EXPECT_EQ(lib.IsCoffArchive(path), c.archive) << c.bytes;
    EXPECT_TRUE(boxes.Calls().empty());
    // The file is closed again: it can be opened at once.
    HANDLE h = lib.OpenLibraryFile(path, true);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
  }
}

TEST(OpenLibraryFileTest, AMissingFileIsRefusedSilentlyWithTheSystemsReason) {
  TempDir dir;
  for (const std::string& name : {dir.File("missing.lib"), std::string()}) {
    TFichierLib lib;
    MessageBoxRecorder boxes;
    EXPECT_EQ(lib.OpenLibraryFile(name, true), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ENOENT));
    EXPECT_FALSE(lib.IsCoffArchive(name));
    EXPECT_TRUE(boxes.Calls().empty());
  }
}

// Every reader leaves the list as it was when its file cannot be opened,
// and says why in its outcome.
TEST(OpenLibraryFileTest, AReaderThatCannotOpenItsFileLeavesTheList) {
  const std::pair<const char*, Outcome (TFichierLib::*)(const std::string&)> readers[] = {
      {"coff", &TFichierLib::ReadCoffLibrary},
      {"omf", &TFichierLib::ReadOmfLibrary},
      {"def", &TFichierLib::ReadDefFile}};
  for (const auto& [what, read] : readers) {
    SCOPED_TRACE(what);
    TempDir dir;
    const std::string path = dir.File("missing");
    TFichierLib lib;
    SetList(lib, {Entry("Keep", 4, true)});
    const Outcome outcome = (lib.*read)(path);
    EXPECT_EQ(outcome.Kind, OutcomeKind::CannotOpen);
    EXPECT_EQ(outcome.Error, ENOENT);
    EXPECT_EQ(ListOf(lib), std::vector<TFonctionLib>{Entry("Keep", 4, true)});
  }
}

// A refused file, of whatever kind and for whatever reason, leaves the
// list with what its own file said of it: its machine and flags too.
TEST(ReadByContentTest, ARefusedFileLeavesTheListItsMachineAndItsFlags) {
  TempDir dir;
  TFichierLib good;
  SetList(good, {Entry("One", 4, true), Entry("Two", 8, true)});
  ASSERT_TRUE(good.WriteCoffLibrary(dir.File("good.lib")));
  std::string archive = ReadFileText(dir.File("good.lib"));
  WriteFileText(dir.File("cut.lib"), archive.substr(0, archive.size() - 40));
  WriteFileText(dir.File("empty.lib"), "");
  WriteFileText(dir.File("text.lib"), "hello\n");
  WriteFileText(dir.File("archive.lib"), "!<arch>\n");
  for (const char* name : {"cut.lib", "empty.lib", "text.lib", "archive.lib", "missing.lib"}) {
    TFichierLib lib;
    SetList(lib, {Entry("Kept", 12, true)});
    lib.SourceMachine = Machine::Amd64;
    lib.CodePacked = true;
    lib.LeftOutObjects = {"helper.o"};
    FileKind kind;
    EXPECT_FALSE(ReadByContent(lib, dir.File(name), kind)) << name;
    EXPECT_EQ(ListOf(lib), std::vector<TFonctionLib>{Entry("Kept", 12, true)}) << name;
    EXPECT_EQ(lib.SourceMachine, Machine::Amd64) << name;
    EXPECT_TRUE(lib.CodePacked) << name;
    EXPECT_EQ(lib.LeftOutObjects, std::vector<std::string>{"helper.o"}) << name;
  }
  TFichierLib lib;
  lib.CodePacked = true;
  FileKind kind;
  ASSERT_TRUE(ReadByContent(lib, dir.File("good.lib"), kind));
  EXPECT_EQ(ListOf(lib).size(), 2u);
  EXPECT_FALSE(lib.CodePacked);
}

TEST(OpenLibraryFileTest, ForWritingCreatesOrEmpties_ForReadingChangesNothing) {
  TempDir dir;
  std::string path = dir.File("f.bin");
  TFichierLib lib;
  HANDLE h = lib.OpenLibraryFile(path, false);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD n = 0;
  EXPECT_TRUE(WriteFile(h, "hello", 5, &n, nullptr));
  CloseHandle(h);
  EXPECT_EQ(ReadFileText(path), "hello");

  h = lib.OpenLibraryFile(path, true);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  EXPECT_EQ(ReadFileText(path), "hello");

  h = lib.OpenLibraryFile(path, false);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  EXPECT_EQ(ReadFileText(path), "");
}

TEST(OpenLibraryFileTest, ADirectoryIsNotAFile) {
  TempDir dir;
  TFichierLib lib;
  EXPECT_EQ(lib.OpenLibraryFile(dir.Path(), true), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(EISDIR));
}

TEST(OpenLibraryFileTest, ReadersShareAFileThatNoWriterEmptiesWhileTheyHoldIt) {
  TempDir dir;
  std::string path = dir.File("held.lib");
  WriteFileText(path, "keep me");
  TFichierLib lib;
  MessageBoxRecorder boxes;
  HANDLE reader = lib.OpenLibraryFile(path, true);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);

  // Another reader, and a save that puts a new file in place, go on.
  HANDLE second = lib.OpenLibraryFile(path, true);
  EXPECT_NE(second, INVALID_HANDLE_VALUE);
  CloseHandle(second);
  // An open that would empty the file in place is refused.
  EXPECT_EQ(lib.OpenLibraryFile(path, false), INVALID_HANDLE_VALUE);
  EXPECT_EQ(ReadFileText(path), "keep me");
  SetList(lib, {Entry("Saved", 4, true)});
  EXPECT_TRUE(lib.WriteDefFile(path));
  // The reader still reads the old file, whole.
  char text[16] = {};
  DWORD n = 0;
  EXPECT_TRUE(ReadFile(reader, text, sizeof text, &n, nullptr));
  EXPECT_EQ(std::string(text, n), "keep me");
  CloseHandle(reader);
  EXPECT_NE(ReadFileText(path).find("Saved"), std::string::npos);
  EXPECT_TRUE(boxes.Calls().empty());
}

TEST(OpenLibraryFileTest, TheLockHoldsBetweenProcesses) {
  TempDir dir;
  std::string path = dir.File("shared.lib");
  WriteFileText(path, "theirs");
  int ready[2];
  int release[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(release), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    SetMessageBoxHandler([](void*, const std::string&, const std::string&, UINT) { return 1; });
    TFichierLib holder;
    HANDLE h = holder.OpenLibraryFile(path, true);
    char c = h != INVALID_HANDLE_VALUE ? 'y' : 'n';
    (void)!write(ready[1], &c, 1);
    (void)!read(release[0], &c, 1);
    _exit(0);
  }
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  ASSERT_EQ(c, 'y');
  TFichierLib lib;
  MessageBoxRecorder boxes;
  EXPECT_EQ(lib.OpenLibraryFile(path, false), INVALID_HANDLE_VALUE);
  EXPECT_EQ(ReadFileText(path), "theirs");
  (void)!write(release[1], &c, 1);
  int status = 0;
  waitpid(child, &status, 0);
  HANDLE h = lib.OpenLibraryFile(path, true);
  EXPECT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  for (int fd : {ready[0], ready[1], release[0], release[1]}) close(fd);
}

TEST(FileApiTest, ReadsDeliverFewerBytesAtTheEndWithoutError) {
  TempDir dir;
  std::string path = dir.File("data");
  std::string text(100000, 'x');
  text[99999] = 'y';
  WriteFileText(path, text);
  HANDLE h = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  char byte = 0;
  DWORD n = 0;
  ASSERT_TRUE(ReadFile(h, &byte, 1, &n, nullptr));
  EXPECT_EQ(n, 1u);
  std::string rest(200000, '\0');
  ASSERT_TRUE(ReadFile(h, rest.data(), 200000, &n, nullptr));
  EXPECT_EQ(n, 99999u);
  EXPECT_EQ(rest[99998], 'y');
  ASSERT_TRUE(ReadFile(h, &byte, 1, &n, nullptr));
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(SetFilePointer(h, 99999, nullptr, FILE_BEGIN), 99999u);
  ASSERT_TRUE(ReadFile(h, &byte, 1, &n, nullptr));
  EXPECT_EQ(byte, 'y');
  EXPECT_TRUE(CloseHandle(h));
}

TEST(FileApiTest, SeekAndOverwriteThroughTheWriteBuffer) {
  TempDir dir;
  std::string path = dir.File("w");
  HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD n = 0;
  WriteFile(h, "abcdef", 6, &n, nullptr);
  EXPECT_EQ(SetFilePointer(h, 2, nullptr, FILE_BEGIN), 2u);
  WriteFile(h, "XY", 2, &n, nullptr);
  char buf[2];
  ReadFile(h, buf, 2, &n, nullptr);
  EXPECT_EQ(std::string(buf, n), "ef");
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ(ReadFileText(path), "abXYef");
}

}  // namespace
