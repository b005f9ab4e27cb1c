// One application object for every window test: on Linux on the offscreen
// platform unless another is asked for; built for Windows, on Windows' own
// (Wine hands no QT_ variable to the programs it starts).
#include <gtest/gtest.h>

#include <QStandardPaths>

#include "app/application.h"

int main(int argc, char** argv) {
#ifndef _WIN32
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
  TApplication application(argc, argv);
  // Recent files and other settings go to a test folder, not the user's.
  QStandardPaths::setTestModeEnabled(true);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
