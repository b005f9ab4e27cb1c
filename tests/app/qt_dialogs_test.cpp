// The toolkit's file dialogs as the window builds them, inspected without
// being shown.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFileSystemModel>

#include "app/qt_dialogs.h"
#include "tests/support/test_files.h"

namespace {

const QString kOpenFilter =
    "Librairies (*.lib)|*.lib|Fichiers de definition (*.def)|*.def|Tous (*.*)|*.*";
const QString kSaveFilter =
    "Librairie OMF (Microsoft) (*.lib)|*.lib|Librairie COFF (Borland) (*.lib)|*.lib|"
    "Fichier de définitions (*.def)|*.def";

QStringList ModelFilters(QFileDialog& dialog) {
  auto* model = dialog.findChild<QFileSystemModel*>();
  return model ? model->nameFilters() : QStringList{"<no model>"};
}

}  // namespace

TEST(FileDialogs, EveryFileUnderTousWhicheverWayItIsChosen) {
  auto dialog = MakeFileDialog({TDialogKind::Open, kOpenFilter, 3, {}}, nullptr);
  EXPECT_EQ(dialog->selectedNameFilter(), "Tous (*.*)");
  EXPECT_EQ(ModelFilters(*dialog), QStringList{"*"}) << "names without a dot too";
  auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
  ASSERT_NE(types, nullptr);
  for (int index : {1, 2}) {
    types->setCurrentIndex(index);
    emit types->activated(index);
    emit types->textActivated(types->itemText(index));
  }
  EXPECT_EQ(ModelFilters(*dialog), QStringList{"*"});
}

TEST(FileDialogs, AnswerIsThePathAndTheFilterNumberedFromOne) {
  TempDir dir;
  TFileDialog kept{TDialogKind::Save, kSaveFilter, 1, {}};
  auto dialog = MakeFileDialog(kept, nullptr);
  EXPECT_FALSE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
  EXPECT_TRUE(dialog->defaultSuffix().isEmpty()) << "Save as adds extensions itself";
  dialog->selectNameFilter("Librairie COFF (Borland) (*.lib)");
  dialog->selectFile(QString::fromStdString(dir.File("out")));
  ASSERT_TRUE(TakeAnswer(*dialog, kept));
  EXPECT_EQ(kept.FileName, QString::fromStdString(dir.File("out")));
  EXPECT_EQ(kept.FilterIndex, 2);
}
