#include <gtest/gtest.h>
#include <sys/stat.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/safe_save.h"
#include "tests/support/test_files.h"

namespace {

using platform::SaveStage;

std::vector<TFonctionLib> BigList() {
  std::vector<TFonctionLib> list;
  for (int i = 0; i < 20000; ++i) list.push_back(Entry("Function" + std::to_string(i), 4, true));
  return list;  // about 600 kB as a .def file
}

TEST(SafeSaveTest, AFailureAtAnyStageKeepsTheOldFile) {
  struct Case {
    SaveStage stage;
    int nth;
  };
  for (const Case& c : {Case{SaveStage::Open, 1}, Case{SaveStage::Write, 1},
                        Case{SaveStage::Write, 2}, Case{SaveStage::Write, 500},
                        Case{SaveStage::Flush, 1}, Case{SaveStage::Rename, 1}}) {
    SCOPED_TRACE(static_cast<int>(c.stage) * 1000 + c.nth);
    TempDir dir;
    std::string path = dir.File("keep.def");
    WriteFileText(path, "the user's file");
    TFichierLib lib;
    SetList(lib, BigList());
    MessageBoxRecorder boxes;
    platform::FailSaveStageForTesting(c.stage, c.nth);
    EXPECT_FALSE(lib.WriteDefFile(path));
    platform::FailSaveStageForTesting(c.stage, 0);
    EXPECT_EQ(ReadFileText(path), "the user's file");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"keep.def"});
    ASSERT_EQ(boxes.Calls().size(), 1u);
    EXPECT_EQ(boxes.Calls()[0].style, 16u);
    if (c.stage == SaveStage::Open) {
      EXPECT_EQ(boxes.Calls()[0].caption, "Impossible d'ouvrir le fichier");
      EXPECT_EQ(boxes.Calls()[0].text, path);
    } else {
      EXPECT_EQ(boxes.Calls()[0].caption, "Erreur");
      EXPECT_EQ(boxes.Calls()[0].text, "Impossible d'écrire le fichier " + path);
    }
  }
}

TEST(SafeSaveTest, AFailedSaveOfANewFileLeavesNothing) {
  TempDir dir;
  std::string path = dir.File("new.def");
  TFichierLib lib;
  MessageBoxRecorder boxes;
  platform::FailSaveStageForTesting(SaveStage::Rename, 1);
  EXPECT_FALSE(lib.WriteDefFile(path));
  platform::FailSaveStageForTesting(SaveStage::Rename, 0);
  EXPECT_TRUE(dir.Entries().empty());
}

// A write cut short by the file size limit, as a full disk would.
TEST(SafeSaveTest, AWriteCutShortByTheSizeLimitKeepsTheOldFile) {
  TempDir dir;
  std::string path = dir.File("limit.def");
  WriteFileText(path, "old contents");
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{100000, 100000};
    setrlimit(RLIMIT_FSIZE, &limit);
    int shown = 0;
    std::string caption;
    SetMessageBoxHandler([&](void*, const std::string&, const std::string& c, UINT) {
      ++shown;
      caption = c;
      return 1;
    });
    TFichierLib lib;
    SetList(lib, BigList());
    bool ok = lib.WriteDefFile(path);
    _exit(!ok && shown == 1 && caption == "Erreur" ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadFileText(path), "old contents");
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"limit.def"});
}

TEST(SafeSaveTest, SavingThroughALinkReplacesTheFileItPointsTo) {
  TempDir dir;
  std::string real = dir.File("real.def");
  std::string link = dir.File("link.def");
  WriteFileText(real, "old");
  ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
  TFichierLib lib;
  ASSERT_TRUE(lib.WriteDefFile(link));
  EXPECT_EQ(ReadFileText(real), "EXPORTS\r\n");
  struct stat st {};
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
}

}  // namespace
