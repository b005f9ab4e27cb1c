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

TEST(SafeSaveTest, SavingThroughALinkReplacesTheFileItPointsTo) {
  TempDir dir;
  std::string real = dir.File("real.def");
  std::string link = dir.File("link.def");
  WriteFileText(real, "old");
  ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
  TFichierLib lib;
  ASSERT_TRUE(lib.WriteDefFile(link));
  EXPECT_EQ(ReadFileText(real), "LIBRARY \"link.dll\"\r\nEXPORTS\r\n");
  struct stat st {};
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
}

}  // namespace
