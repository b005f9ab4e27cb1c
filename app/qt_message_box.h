// Shows the core's message boxes (MessageBoxA) as the toolkit's message
// boxes. The owner, when given, is the QWidget that stands for the window;
// without one, the active window owns the box. A box stands centred over
// its owner and repeats its caption at the top of its text, since many
// desktops show no title on a dialog.
#pragma once

#include <QMessageBox>

#include "platform/windows_types.h"

// Button sets and answers beyond the core's, for the window's questions.
inline constexpr UINT kMbYesNoCancel = 0x3;
inline constexpr UINT kMbYesNo = 0x4;
inline constexpr UINT kMbIconQuestion = 0x20;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// The icon that a MessageBoxA style asks for (its icon bits).
QMessageBox::Icon IconForStyle(UINT style);

// The box for one call, ready to be shown.
void BuildQtMessageBox(QMessageBox& box, const std::string& text, const std::string& caption,
                       UINT style);

// Installs the handler for the rest of the program's life.
void InstallQtMessageBoxHandler();
