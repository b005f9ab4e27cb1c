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
const std::vector<QString> kThreeLines = {"Alpha", "Beta", "Gamma"};

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

class FileCommandsTest : public FormTest {
 protected:
  void ExpectPanelEmpty() {
    EXPECT_TRUE(SelectedLines().empty());
    EXPECT_EQ(form.Edit1->text() + form.Edit2->text() + form.Label4->text() + form.Label6->text(),
              "");
    EXPECT_FALSE(form.RadioButton1->isChecked() || form.RadioButton2->isChecked());
  }

  TempDir dir;
};

TEST_F(FileCommandsTest, OpenReadsByFilterAndRefillsTheList) {
  TFichierLib lib;
  SetList(lib, kThree);
  const std::string coff = dir.File("ms.lib"), def = dir.File("x.def"), omf = dir.File("bc.lib");
  ASSERT_TRUE(lib.WriteCoffLibrary(coff));
  ASSERT_TRUE(lib.WriteDefFile(def));
  omf::LibraryBuilder().AddImports({{"Alpha"}, {"_Beta"}}).WriteTo(omf);
  struct Case {
    std::string path;
    int filter;
    QString caption;
    std::vector<TFonctionLib> list;
  };
  const std::vector<Case> cases = {
      {coff, 1, Q(coff) + " (Microsoft)", kThree},
      {omf, 1, Q(omf) + " (Borland)", {Entry("Alpha", 0, true), Entry("Beta", 0, false)}},
      {def, 2, Q(def), kThreeFromDef},
      {coff, 3, Q(def), kThreeFromDef},  // nothing read, the caption stays
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path + " filter " + std::to_string(c.filter));
    if (form.ListBox1->count() > 0) ClickLine(0);  // a line of the old list selected
    dialogs.Confirm(c.path, c.filter);
    form.Ouvrir1->trigger();
    EXPECT_EQ(form.FileName, Q(c.path));
    EXPECT_EQ(form.windowTitle(), c.caption);
    EXPECT_EQ(List(), c.list);
    std::vector<QString> names;
    for (const TFonctionLib& entry : c.list) names.push_back(Q(entry.Name));
    EXPECT_EQ(Lines(), names);
    ExpectPanelEmpty();
  }
  EXPECT_TRUE(boxes.Calls().empty());
  // Filter 1 at first use, then the one chosen last.
  EXPECT_EQ(dialogs.shown[0].FilterIndex, 1);
  EXPECT_EQ(dialogs.shown[3].FilterIndex, 2);
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
  EXPECT_EQ(Lines(), kThreeLines);
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
  // What was done stays done; caption, refill and panel never came.
  EXPECT_EQ(form.FileName, Q(path));
  EXPECT_EQ(List(), (std::vector<TFonctionLib>{Entry("A", 4, true)}));
  EXPECT_EQ(form.windowTitle(), "before");
  EXPECT_EQ(Lines(), kThreeLines);

  // Lines past the end of the list have no entry to show or change.
  boxes.Clear();
  ClickLine(0);
  ClickLine(2, Qt::ControlModifier);
  Type(form.Edit1, "x");
  Click(form.RadioButton2);
  EXPECT_EQ(form.Edit2->text(), "4") << "the one entry among the selected lines";
  Type(form.Edit2, "6");
  EXPECT_EQ(List(), (std::vector<TFonctionLib>{Entry("A", 46, false)}));
  EXPECT_TRUE(boxes.Calls().empty());
}

TEST_F(FileCommandsTest, SaveAsWritesByFilterAndAddsTheExtensionOnlyWithoutADot) {
  struct Case {
    std::string folder;  // under the temporary folder
    std::string typed;
    int filter;
    std::string written;
    std::string captionSuffix;
  };
  const std::vector<Case> cases = {
      {"plain", "out", 1, "out.lib", " (Microsoft)"},
      {"plain", "out.txt", 1, "out.txt", " (Microsoft)"},
      {"my.libs", "out", 1, "out", " (Microsoft)"},
      {"plain", "mydefs", 3, "mydefs.def", ""},
      {"a.b", "mydefs", 3, "mydefs", ""},
  };
  Load(kThree);
  ClickLine(1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder + "/" + c.typed);
    const std::string folder = dir.File(c.folder);
    std::filesystem::create_directories(folder);
    dialogs.Confirm(folder + "/" + c.typed, c.filter);
    form.EnregistrerSous1->trigger();
    const std::string written = folder + "/" + c.written;
    EXPECT_EQ(form.FileName, Q(written));
    EXPECT_EQ(form.windowTitle(), Q(written + c.captionSuffix));
    TFichierLib back;
    if (c.filter == 1) back.ReadCoffLibrary(written);
    else back.ReadDefFile(written);
    EXPECT_EQ(ListOf(back), c.filter == 1 ? kThree : kThreeFromDef);
  }
  EXPECT_TRUE(boxes.Calls().empty());
  // Save as leaves the list, the lines and the panel alone.
  EXPECT_EQ(List(), kThree);
  EXPECT_EQ(SelectedLines(), (std::vector<int>{1}));
  EXPECT_EQ(form.Edit1->text(), "Beta");
}

TEST_F(FileCommandsTest, SaveAsBorlandAnswersNotImplementedAndWritesNothing) {
  Load(kThree);
  dialogs.Confirm(dir.File("bc"), 2);
  form.EnregistrerSous1->trigger();
  ASSERT_EQ(boxes.Calls().size(), 1u);
  EXPECT_EQ(boxes.Calls()[0].text, "Non implémenté");
  EXPECT_EQ(boxes.Calls()[0].caption, "Erreur");
  EXPECT_EQ(boxes.Calls()[0].style, 16u);
  EXPECT_EQ(boxes.Calls()[0].owner, nullptr);
  EXPECT_TRUE(dir.Entries().empty());
  EXPECT_EQ(form.windowTitle(), Q(dir.File("bc.lib")) + " (Borland)");
}

TEST_F(FileCommandsTest, ACancelledDialogChangesNothing) {
  form.SetCaption("kept");
  dialogs.Cancel();
  form.Ouvrir1->trigger();
  dialogs.Cancel();
  form.EnregistrerSous1->trigger();
  EXPECT_EQ(form.windowTitle(), "kept");
  EXPECT_EQ(form.FileName, "");
  EXPECT_TRUE(dir.Entries().empty());
}
