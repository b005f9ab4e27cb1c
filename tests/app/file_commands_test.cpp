// Open and Save as through each filter, with scripted dialog answers and
// real files.
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include <filesystem>

#include "app/list_box.h"
#include "tests/app/form_harness.h"
#include "tests/support/omf_builder.h"

namespace {

// A _stdcall entry carries no length in its Microsoft symbol, so this list
// comes back whole from a COFF library.
const std::vector<TFonctionLib> kThree = {Entry("Alpha", 4, true), Entry("Beta", 0, false),
                                           Entry("Gamma", 0, true)};
// A definition file holds the names alone.
const std::vector<TFonctionLib> kThreeFromDef = {Entry("Alpha", 0, true), Entry("Beta", 0, true),
                                                  Entry("Gamma", 0, true)};

}  // namespace

class FileCommandsTest : public FormTest {
 protected:
  // Writes kThree with the core's writers, leaving the window's list empty.
  std::string WriteCoff(const std::string& name) {
    TFichierLib lib;
    SetList(lib, kThree);
    const std::string path = dir.File(name);
    EXPECT_TRUE(lib.WriteCoffLibrary(path));
    return path;
  }
  std::string WriteOmf(const std::string& name) {
    const std::string path = dir.File(name);
    omf::LibraryBuilder().AddImports({{"Alpha"}, {"_Beta"}}).WriteTo(path);
    return path;
  }
  std::string WriteDef(const std::string& name) {
    TFichierLib lib;
    SetList(lib, kThree);
    const std::string path = dir.File(name);
    EXPECT_TRUE(lib.WriteDefFile(path));
    return path;
  }
  void ExpectPanelEmpty() {
    EXPECT_TRUE(SelectedLines().empty());
    EXPECT_EQ(form.Edit1->text(), "");
    EXPECT_EQ(form.Edit2->text(), "");
    EXPECT_FALSE(form.RadioButton1->isChecked());
    EXPECT_FALSE(form.RadioButton2->isChecked());
    EXPECT_EQ(form.Label4->text(), "");
    EXPECT_EQ(form.Label6->text(), "");
  }
  static QString Q(const std::string& text) { return QString::fromStdString(text); }

  TempDir dir;
};

TEST_F(FileCommandsTest, OpenReadsTheLibraryKindThatTheFileHolds) {
  const std::string coff = WriteCoff("ms.lib");
  dialogs.Confirm(coff, 1);
  form.Ouvrir1->trigger();
  EXPECT_EQ(form.windowTitle(), Q(coff) + " (Microsoft)");
  EXPECT_EQ(form.FileName, Q(coff));
  EXPECT_EQ(List(), kThree);
  EXPECT_EQ(Lines(), (std::vector<QString>{"Alpha", "Beta", "Gamma"}));
  ExpectPanelEmpty();

  const std::string borland = WriteOmf("bc.lib");
  dialogs.Confirm(borland, 1);
  form.Ouvrir1->trigger();
  EXPECT_EQ(form.windowTitle(), Q(borland) + " (Borland)");
  EXPECT_EQ(List(), (std::vector<TFonctionLib>{Entry("Alpha", 0, true), Entry("Beta", 0, false)}));
  EXPECT_EQ(Lines(), (std::vector<QString>{"Alpha", "Beta"}));
  ExpectPanelEmpty();
  EXPECT_TRUE(boxes.Calls().empty());
  // Filter 1 came at first use; the dialog was shown with its own filters.
  ASSERT_EQ(dialogs.shown.size(), 2u);
  EXPECT_EQ(dialogs.shown[0].FilterIndex, 1);
  EXPECT_EQ(dialogs.shown[0].Kind, TDialogKind::Open);
}

TEST_F(FileCommandsTest, OpenReadsADefinitionFileUnderTheSecondFilter) {
  const std::string def = WriteDef("x.def");
  dialogs.Confirm(def, 2);
  form.Ouvrir1->trigger();
  EXPECT_EQ(form.windowTitle(), Q(def));
  EXPECT_EQ(List(), kThreeFromDef);
  EXPECT_EQ(Lines(), (std::vector<QString>{"Alpha", "Beta", "Gamma"}));
  ExpectPanelEmpty();
  // The filter chosen last is offered the next time.
  dialogs.Cancel();
  form.Ouvrir1->trigger();
  EXPECT_EQ(dialogs.shown.back().FilterIndex, 2);
}

TEST_F(FileCommandsTest, OpenUnderTheThirdFilterReadsNothingButRefillsAndEmptiesThePanel) {
  Load(kThree);
  ClickLine(1);
  form.SetCaption("before");
  dialogs.Confirm(WriteCoff("x.lib"), 3);
  form.Ouvrir1->trigger();
  EXPECT_EQ(form.windowTitle(), "before");
  EXPECT_EQ(form.FileName, Q(dir.File("x.lib")));
  EXPECT_EQ(List(), kThree);
  EXPECT_EQ(Lines(), (std::vector<QString>{"Alpha", "Beta", "Gamma"}));
  ExpectPanelEmpty();
}

TEST_F(FileCommandsTest, AMissingLibraryIsReportedTwiceAndLeavesTheList) {
  Load(kThree);
  const std::string missing = dir.File("missing.lib");
  dialogs.Confirm(missing, 1);
  form.Ouvrir1->trigger();
  ASSERT_EQ(boxes.Calls().size(), 2u);
  for (const auto& call : boxes.Calls()) {
    EXPECT_EQ(call.caption, "Impossible d'ouvrir le fichier");
    EXPECT_EQ(call.text, missing);
    EXPECT_EQ(call.style, 16u);
  }
  EXPECT_EQ(form.windowTitle(), Q(missing) + " (Borland)");
  EXPECT_EQ(List(), kThree);
  EXPECT_EQ(Lines().size(), 3u);
  ExpectPanelEmpty();
}

TEST_F(FileCommandsTest, AnErrorWhileReadingAbandonsTheRestOfOpen) {
  Load(kThree);
  form.SetCaption("before");
  // An archive whose first linker member announces three names but holds
  // one: the reader keeps that one and raises the range error.
  std::string bytes = "!<arch>\n" + std::string(60, ' ');
  bytes += std::string("\0\0\0\x03", 4) + std::string(12, '\0') + std::string("__imp__A@4\0", 11);
  const std::string path = dir.File("cut.lib");
  WriteFileText(path, bytes);
  dialogs.Confirm(path, 1);
  form.Ouvrir1->trigger();
  ASSERT_EQ(boxes.Calls().size(), 1u);
  EXPECT_EQ(boxes.Calls()[0].text, "Erreur de vérification d'étendue");
  EXPECT_EQ(boxes.Calls()[0].caption, "Libmorph");
  EXPECT_EQ(boxes.Calls()[0].style, 16u);
  // What was done stays done; caption, refill and panel never came.
  EXPECT_EQ(form.FileName, Q(path));
  EXPECT_EQ(List(), (std::vector<TFonctionLib>{Entry("A", 4, true)}));
  EXPECT_EQ(form.windowTitle(), "before");
  EXPECT_EQ(Lines(), (std::vector<QString>{"Alpha", "Beta", "Gamma"}));

  // Lines past the end of the list have no entry to show or change.
  boxes.Clear();
  ClickLine(0);
  ClickLine(2, Qt::ControlModifier);
  Type(form.Edit1, "x");
  Click(form.RadioButton2);
  EXPECT_EQ(form.Edit2->text(), "4") << "the one entry among the selected lines";
  Type(form.Edit2, "6");
  EXPECT_EQ(List(), (std::vector<TFonctionLib>{Entry("A", 46, false)}));
  EXPECT_EQ(form.Label4->text(), "");
  EXPECT_TRUE(boxes.Calls().empty());
}

TEST_F(FileCommandsTest, ACancelledDialogChangesNothing) {
  Load(kThree);
  ClickLine(0);
  form.SetCaption("kept");
  dialogs.Cancel();
  form.Ouvrir1->trigger();
  dialogs.Cancel();
  form.EnregistrerSous1->trigger();
  EXPECT_EQ(form.windowTitle(), "kept");
  EXPECT_EQ(form.FileName, "");
  EXPECT_EQ(SelectedLines(), (std::vector<int>{0}));
  EXPECT_EQ(form.Edit1->text(), "Alpha");
  EXPECT_TRUE(dir.Entries().empty());
}

struct SaveCase {
  const char* name;
  std::string folder;  // under the temporary folder; "" for the folder itself
  std::string typed;
  int filter;
  std::string written;  // the file that must exist afterwards ("" for none)
  std::string captionSuffix;
};

TEST_F(FileCommandsTest, SaveAsWritesByFilterAndAddsTheExtensionOnlyWithoutADot) {
  const std::vector<SaveCase> cases = {
      {"COFF, no dot", "", "out", 1, "out.lib", " (Microsoft)"},
      {"COFF, own extension", "", "out.txt", 1, "out.txt", " (Microsoft)"},
      {"COFF, dotted folder", "my.libs", "out", 1, "out", " (Microsoft)"},
      {"definitions, no dot", "", "mydefs", 3, "mydefs.def", ""},
      {"definitions, dotted folder", "a.b", "mydefs", 3, "mydefs", ""},
  };
  for (const SaveCase& c : cases) {
    SCOPED_TRACE(c.name);
    Load(kThree);
    const std::string folder = c.folder.empty() ? dir.Path() : dir.File(c.folder);
    std::filesystem::create_directories(folder);
    dialogs.Confirm(folder + "/" + c.typed, c.filter);
    form.EnregistrerSous1->trigger();
    const std::string written = folder + "/" + c.written;
    EXPECT_TRUE(FileExists(written));
    EXPECT_EQ(form.FileName, Q(written));
    EXPECT_EQ(form.windowTitle(), Q(written + c.captionSuffix));

    // What was written reads back as the list.
    TFichierLib back;
    if (c.filter == 1) back.ReadCoffLibrary(written);
    else back.ReadDefFile(written);
    EXPECT_EQ(ListOf(back), c.filter == 1 ? kThree : kThreeFromDef);
  }
  EXPECT_TRUE(boxes.Calls().empty());
}

TEST_F(FileCommandsTest, SaveAsBorlandAnswersNotImplementedAndWritesNothing) {
  Load(kThree);
  ClickLine(1);
  dialogs.Confirm(dir.File("bc"), 2);
  form.EnregistrerSous1->trigger();
  ASSERT_EQ(boxes.Calls().size(), 1u);
  EXPECT_EQ(boxes.Calls()[0].text, "Non implémenté");
  EXPECT_EQ(boxes.Calls()[0].caption, "Erreur");
  EXPECT_EQ(boxes.Calls()[0].style, 16u);
  EXPECT_EQ(boxes.Calls()[0].owner, nullptr);
  EXPECT_TRUE(dir.Entries().empty());
  EXPECT_EQ(form.windowTitle(), Q(dir.File("bc.lib")) + " (Borland)");
  // Save as leaves the list, the lines and the panel alone.
  EXPECT_EQ(List(), kThree);
  EXPECT_EQ(SelectedLines(), (std::vector<int>{1}));
  EXPECT_EQ(form.Edit1->text(), "Beta");
  EXPECT_EQ(dialogs.shown.back().Kind, TDialogKind::Save);
}
