// Both writers save through a temporary file: a save that fails at any
// stage, or is cut short by a full disk, keeps the user's old file byte for
// byte and leaves nothing behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <functional>

#include "platform/safe_save.h"
#include "tests/support/test_files.h"

namespace {

using platform::SaveStage;

struct Writer {
  const char* name;
  const char* fileName;
  Outcome (TFichierLib::*save)(const std::string&);
  bool seeks;  // patches what it wrote earlier
};

void PrintTo(const Writer& w, std::ostream* os) { *os << w.name; }

class SaveFailureTest : public ::testing::TestWithParam<Writer> {
 protected:
  static std::vector<TFonctionLib> BigList() {
    std::vector<TFonctionLib> list;
    for (int i = 0; i < 20000; ++i) list.push_back(Entry("Function" + std::to_string(i), 4, true));
    return list;  // 0.6 MB as a .def file, 1.3 MB as a library
  }
  Outcome Save(TFichierLib& lib, const std::string& path) { return (lib.*GetParam().save)(path); }
};

TEST_P(SaveFailureTest, AFailureAtAnyStageKeepsTheOldFile) {
  struct Case {
    SaveStage stage;
    int nth;
  };
  std::vector<Case> cases = {{SaveStage::Open, 1},    {SaveStage::Write, 1},
                             {SaveStage::Write, 2},   {SaveStage::Write, 10},
                             {SaveStage::Flush, 1},   {SaveStage::Rename, 1}};
  if (GetParam().seeks) cases.insert(cases.end(), {{SaveStage::Seek, 1}, {SaveStage::Seek, 2}});
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.stage) * 1000 + c.nth);
    TempDir dir;
    const std::string path = dir.File(GetParam().fileName);
    WriteFileText(path, "the user's file");
    TFichierLib lib;
    SetList(lib, BigList());
    MessageBoxRecorder boxes;
    platform::FailSaveStageForTesting(c.stage, c.nth);
    const Outcome outcome = Save(lib, path);
    platform::FailSaveStageForTesting(c.stage, 0);
    EXPECT_EQ(ReadFileText(path), "the user's file");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{GetParam().fileName});
    EXPECT_TRUE(boxes.Calls().empty());
    EXPECT_EQ(outcome.Kind, c.stage == SaveStage::Open ? OutcomeKind::CannotOpen
                                                        : OutcomeKind::CannotWrite);
    EXPECT_NE(outcome.Error, 0);
  }
}

// A write cut short by the file size limit, as a full disk would cut it.
TEST_P(SaveFailureTest, AWriteCutShortByTheSizeLimitKeepsTheOldFile) {
  TempDir dir;
  const std::string path = dir.File(GetParam().fileName);
  WriteFileText(path, "old contents");
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{100000, 100000};
    setrlimit(RLIMIT_FSIZE, &limit);
    TFichierLib lib;
    SetList(lib, BigList());
    const Outcome outcome = Save(lib, path);
    _exit(outcome.Kind == OutcomeKind::CannotWrite && outcome.Error == EFBIG ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadFileText(path), "old contents");
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{GetParam().fileName});
}

INSTANTIATE_TEST_SUITE_P(Writers, SaveFailureTest,
                         ::testing::Values(Writer{"Def", "keep.def", &TFichierLib::WriteDefFile, false},
                                           Writer{"Coff", "keep.lib", &TFichierLib::WriteCoffLibrary, false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
