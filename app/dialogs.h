// The window's file dialogs, reached through an interface so that the
// window's commands can be driven without a modal dialog on screen.
#pragma once

#include <QString>

class QWidget;

enum class TDialogKind { Open, Save };

// What the window keeps of one file dialog between two uses.
struct TFileDialog {
  TDialogKind Kind = TDialogKind::Open;
  // "Name|pattern|Name|pattern|...": each pair is one choice of the filter
  // list, numbered from 1 in this order.
  QString Filter;
  // The choice selected when the dialog opens; after a confirmation, the
  // one selected when the user confirmed. 1 at first use.
  int FilterIndex = 1;
  // The full path chosen at the last confirmation.
  QString FileName;
};

class TDialogs {
 public:
  virtual ~TDialogs() = default;
  // Shows the dialog modally over owner. On confirmation stores the chosen
  // path and filter in dialog and answers true; on cancel changes nothing
  // and answers false.
  virtual bool Execute(TFileDialog& dialog, QWidget* owner) = 0;
};
