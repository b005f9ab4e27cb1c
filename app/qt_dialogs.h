// The toolkit's open and save dialogs behind TDialogs.
#pragma once

#include <QFileDialog>
#include <QStringList>

#include <memory>
#include <vector>

#include "app/dialogs.h"

// One choice of a filter list: the text shown and the name patterns.
struct TFilterChoice {
  QString Name;
  QStringList Patterns;  // as matched on this system: "*.*" means every file
};

// Splits "Name|pattern;pattern|Name|pattern" into its choices. A trailing
// name without patterns is dropped.
std::vector<TFilterChoice> ParseFilter(const QString& filter);

// Builds the dialog that Execute shows, ready to exec(): filters, the
// selected choice, the previous path, the options of its kind.
std::unique_ptr<QFileDialog> MakeFileDialog(const TFileDialog& dialog, QWidget* owner);

// Stores the confirmed dialog's path and filter (from 1) in dialog; false
// when it holds no path.
bool TakeAnswer(const QFileDialog& shown, TFileDialog& dialog);

class TQtDialogs : public TDialogs {
 public:
  bool Execute(TFileDialog& dialog, QWidget* owner) override;
};
