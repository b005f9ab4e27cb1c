// The toolkit's file dialogs as the window builds them, inspected without
// being shown, and the icons of the message boxes.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFileSystemModel>
#include <QTest>

#include <unistd.h>

#include <filesystem>

#include "app/qt_dialogs.h"
#include "app/qt_message_box.h"
#include "platform/message_box.h"
#include "tests/support/test_files.h"

namespace {

const QString kOpenFilter =
    "Librairies (*.lib)|*.lib|Fichiers de definition (*.def)|*.def|Tous (*.*)|*.*";
const QString kSaveFilter =
    "Librairie OMF (Microsoft) (*.lib)|*.lib|Librairie COFF (Borland) (*.lib)|*.lib|"
    "Fichier de définitions (*.def)|*.def";

TFileDialog OpenDialog(int filterIndex = 1) {
  return {TDialogKind::Open, kOpenFilter, filterIndex, {}};
}

QStringList ModelFilters(QFileDialog& dialog) {
  auto* model = dialog.findChild<QFileSystemModel*>();
  return model ? model->nameFilters() : QStringList{"<no model>"};
}

}  // namespace

TEST(FileDialogs, FilterTextSplitsIntoNamedChoices) {
  const std::vector<TFilterChoice> choices = ParseFilter(kOpenFilter);
  ASSERT_EQ(choices.size(), 3u);
  EXPECT_EQ(choices[0].Name, "Librairies (*.lib)");
  EXPECT_EQ(choices[0].Patterns, QStringList{"*.lib"});
  EXPECT_EQ(choices[1].Name, "Fichiers de definition (*.def)");
  EXPECT_EQ(choices[2].Name, "Tous (*.*)");
  EXPECT_EQ(choices[2].Patterns, QStringList{"*"}) << "every file, dotted or not";
  EXPECT_EQ(ParseFilter("A|*.a;*.b|dangling").size(), 1u);
  EXPECT_EQ(ParseFilter("A|*.a;*.b|dangling")[0].Patterns, (QStringList{"*.a", "*.b"}));
}

TEST(FileDialogs, DialogsOfferTheirFiltersAndStartAtTheKeptChoice) {
  auto open = MakeFileDialog(OpenDialog(), nullptr);
  EXPECT_EQ(open->nameFilters(), (QStringList{"Librairies (*.lib)", "Fichiers de definition (*.def)",
                                              "Tous (*.*)"}));
  EXPECT_EQ(open->selectedNameFilter(), "Librairies (*.lib)");
  EXPECT_EQ(open->acceptMode(), QFileDialog::AcceptOpen);
  EXPECT_EQ(open->fileMode(), QFileDialog::ExistingFile);
  EXPECT_EQ(ModelFilters(*open), QStringList{"*.lib"});

  auto save = MakeFileDialog({TDialogKind::Save, kSaveFilter, 3, {}}, nullptr);
  EXPECT_EQ(save->nameFilters()[1], "Librairie COFF (Borland) (*.lib)");
  EXPECT_EQ(save->selectedNameFilter(), "Fichier de définitions (*.def)");
  EXPECT_EQ(save->acceptMode(), QFileDialog::AcceptSave);
  EXPECT_FALSE(save->testOption(QFileDialog::DontConfirmOverwrite));
  EXPECT_TRUE(save->defaultSuffix().isEmpty()) << "Save as adds extensions itself";
  EXPECT_TRUE(save->isSizeGripEnabled());
}

TEST(FileDialogs, TheLastChoiceListsFilesWithoutADotToo) {
  auto dialog = MakeFileDialog(OpenDialog(3), nullptr);
  EXPECT_EQ(ModelFilters(*dialog), QStringList{"*"});
  // Choosing in the list does the same as starting there.
  auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
  ASSERT_NE(types, nullptr);
  types->setCurrentIndex(1);
  emit types->activated(1);
  emit types->textActivated(types->itemText(1));
  EXPECT_EQ(ModelFilters(*dialog), QStringList{"*.def"});
  types->setCurrentIndex(2);
  emit types->activated(2);
  emit types->textActivated(types->itemText(2));
  EXPECT_EQ(ModelFilters(*dialog), QStringList{"*"});
}

TEST(FileDialogs, AnswerIsThePathAndTheFilterNumberedFromOne) {
  TempDir dir;
  TFileDialog kept{TDialogKind::Save, kSaveFilter, 1, {}};
  auto dialog = MakeFileDialog(kept, nullptr);
  dialog->setDirectory(QString::fromStdString(dir.Path()));
  dialog->selectNameFilter("Librairie COFF (Borland) (*.lib)");
  dialog->selectFile(QString::fromStdString(dir.File("out")));
  ASSERT_TRUE(TakeAnswer(*dialog, kept));
  EXPECT_EQ(kept.FileName, QString::fromStdString(dir.File("out")));
  EXPECT_EQ(kept.FilterIndex, 2);
}

TEST(FileDialogs, SaveRefusesAReadOnlyFile) {
  if (::geteuid() == 0) GTEST_SKIP() << "running as root: every file is writable";
  TempDir dir;
  const std::string path = dir.File("locked.lib");
  WriteFileText(path, "x");
  std::filesystem::permissions(path, std::filesystem::perms::owner_read);
  MessageBoxRecorder boxes;
  auto dialog = MakeFileDialog({TDialogKind::Save, kSaveFilter, 1, {}}, nullptr);
  dialog->selectFile(QString::fromStdString(path));
  QMetaObject::invokeMethod(dialog.get(), "accept");  // as the dialog's button does
  EXPECT_NE(dialog->result(), QDialog::Accepted);
  ASSERT_EQ(boxes.Calls().size(), 1u);
  EXPECT_EQ(boxes.Calls()[0].style, 48u);
}

TEST(MessageBoxes, IconFollowsTheStyle) {
  const std::vector<std::pair<UINT, QMessageBox::Icon>> cases = {
      {MB_OK, QMessageBox::NoIcon},
      {MB_ICONERROR, QMessageBox::Critical},
      {MB_ICONWARNING, QMessageBox::Warning},
      {MB_ICONINFORMATION, QMessageBox::Information},
      {MB_ICONERROR | 0x1000, QMessageBox::Critical},  // other bits do not matter
  };
  for (const auto& [style, icon] : cases) EXPECT_EQ(IconForStyle(style), icon) << style;
}
