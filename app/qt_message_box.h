// Shows the core's message boxes (MessageBoxA) as the toolkit's message
// boxes. The owner, when given, is the QWidget that stands for the window.
#pragma once

#include <QMessageBox>

#include "platform/windows_types.h"

// The icon that a MessageBoxA style asks for (its icon bits).
QMessageBox::Icon IconForStyle(UINT style);

// Installs the handler for the rest of the program's life.
void InstallQtMessageBoxHandler();
