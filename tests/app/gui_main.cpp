// One application object for every window test, on the offscreen platform
// unless another is asked for.
#include <gtest/gtest.h>

#include <QStandardPaths>

#include "app/application.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  TApplication application(argc, argv);
  // Recent files and other settings go to a test folder, not the user's.
  QStandardPaths::setTestModeEnabled(true);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
