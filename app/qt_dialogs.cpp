#include "app/qt_dialogs.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>

#include <algorithm>
#include <utility>

#include "platform/message_box.h"

namespace {

// "*.*" stands for every file, dotted or not, as it always has for the
// users of this window; the toolkit would only match names with a dot.
QString SystemPattern(const QString& pattern) {
  return pattern == QLatin1String("*.*") ? QStringLiteral("*") : pattern;
}

class FileDialog : public QFileDialog {
 public:
  FileDialog(QWidget* owner, std::vector<TFilterChoice> choices)
      : QFileDialog(owner), choices_(std::move(choices)) {
    QStringList names;
    for (const TFilterChoice& choice : choices_) names << choice.Name;
    setOption(QFileDialog::DontUseNativeDialog);
    setNameFilters(names);
    connect(this, &QFileDialog::filterSelected, this,
            [this](const QString& name) { UseChoice(nameFilters().indexOf(name)); });
  }

  // Selects choice index (from 0) and shows the files it matches.
  void SelectChoice(int index) {
    if (index < 0 || index >= static_cast<int>(choices_.size())) return;
    selectNameFilter(choices_[index].Name);
    UseChoice(index);
  }

  // A save never goes to a file or a folder that cannot be written: the
  // dialog says so and stays open.
  void accept() override {
    if (acceptMode() == QFileDialog::AcceptSave) {
      const QStringList files = selectedFiles();
      if (!files.isEmpty()) {
        const QFileInfo info(files.first());
        QString problem;
        if (info.exists() && !info.isDir() && !info.isWritable())
          problem = QStringLiteral("Ce fichier est en lecture seule.");
        else if (!info.exists() && !QFileInfo(info.absolutePath()).isWritable())
          problem = QStringLiteral("Ce dossier est protégé en écriture.");
        if (!problem.isEmpty()) {
          MessageBoxA(static_cast<QWidget*>(this), (info.fileName() + "\n" + problem).toStdString(),
                      windowTitle().toStdString(), MB_ICONWARNING);
          return;
        }
      }
    }
    QFileDialog::accept();
  }

 private:
  void UseChoice(int index) {
    if (index < 0 || index >= static_cast<int>(choices_.size())) return;
    if (auto* model = findChild<QFileSystemModel*>()) model->setNameFilters(choices_[index].Patterns);
  }

  std::vector<TFilterChoice> choices_;
};

}  // namespace

std::vector<TFilterChoice> ParseFilter(const QString& filter) {
  const QStringList parts = filter.split(QLatin1Char('|'));
  std::vector<TFilterChoice> choices;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    TFilterChoice choice{parts[i], {}};
    for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts))
      choice.Patterns << SystemPattern(pattern.trimmed());
    choices.push_back(std::move(choice));
  }
  return choices;
}

std::unique_ptr<QFileDialog> MakeFileDialog(const TFileDialog& dialog, QWidget* owner) {
  auto choices = ParseFilter(dialog.Filter);
  const int count = static_cast<int>(choices.size());
  auto result = std::make_unique<FileDialog>(owner, std::move(choices));
  if (dialog.Kind == TDialogKind::Open) {
    result->setWindowTitle(QStringLiteral("Ouvrir"));
    result->setAcceptMode(QFileDialog::AcceptOpen);
    result->setFileMode(QFileDialog::ExistingFile);
  } else {
    // Overwriting an existing file is confirmed: the toolkit's default.
    result->setWindowTitle(QStringLiteral("Enregistrer sous"));
    result->setAcceptMode(QFileDialog::AcceptSave);
    result->setFileMode(QFileDialog::AnyFile);
  }
  result->setSizeGripEnabled(true);
  if (count > 0) result->SelectChoice(std::clamp(dialog.FilterIndex, 1, count) - 1);
  // A folder alone (a path ending in "/") opens the dialog there with no
  // name proposed.
  if (QDir::fromNativeSeparators(dialog.FileName).endsWith(QLatin1Char('/'))) {
    result->setDirectory(dialog.FileName);
  } else if (!dialog.FileName.isEmpty()) {
    result->setDirectory(QFileInfo(dialog.FileName).absolutePath());
    result->selectFile(dialog.FileName);
  }
  return result;
}

bool TakeAnswer(const QFileDialog& shown, TFileDialog& dialog) {
  const QStringList files = shown.selectedFiles();
  if (files.isEmpty()) return false;
  // The toolkit answers with "/"; the window shows paths as the system
  // writes them.
  dialog.FileName = QDir::toNativeSeparators(files.first());
  const qsizetype index = shown.nameFilters().indexOf(shown.selectedNameFilter());
  if (index >= 0) dialog.FilterIndex = static_cast<int>(index) + 1;
  return true;
}

bool TQtDialogs::Execute(TFileDialog& dialog, QWidget* owner) {
  std::unique_ptr<QFileDialog> shown = MakeFileDialog(dialog, owner);
#ifdef Q_OS_WIN
  // Windows' own dialog, as every program there shows: it asks before
  // overwriting and refuses read-only files and folders itself.
  shown->setOption(QFileDialog::DontUseNativeDialog, false);
#endif
  if (shown->exec() != QDialog::Accepted) return false;
  return TakeAnswer(*shown, dialog);
}
