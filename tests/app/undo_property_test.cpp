// The list cannot lose data: every edit undoes to exactly the entries it
// took, bindings included, however many and whatever the view shows; a
// rename keeps the import; a machine changed and changed back is the list
// it was; after a lossy save the window shows what the file holds.
#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QUndoStack>

#include <filesystem>
#include <random>
#include <sstream>

#include "app/export_list_model.h"
#include "app/list_box.h"
#include "app/list_filter.h"
#include "app/qt_message_box.h"
#include "tests/app/form_harness.h"

namespace {

// Every field of an entry, to compare lists whole.
std::string Whole(const TFonctionLib& e) {
  const ImportBinding& b = e.Import;
  std::ostringstream out;
  out << e.Name << '|' << e.ArgLength << '|' << e.IsPascal << '|' << e.Unsure << '|' << b.Dll
      << '|' << b.ExportName << '|' << b.ByOrdinal << b.NoName << '|' << b.Ordinal << '|'
      << int(b.Kind) << '|' << b.Symbol << '|' << b.Private << '|' << b.ForwardTo;
  return out.str();
}

const char kFmod[] = "/work/shared/corpus/fmod-3.61/fmodbc.lib";

}  // namespace

class UndoPropertyTest : public FormTest {
 protected:
  std::vector<std::string> Everything() {
    std::vector<std::string> all;
    for (std::uint32_t i = 0; i < form.Fonctions().Count; ++i)
      all.push_back(Whole(form.Fonctions().Item(i)));
    all.push_back("machine " + MachineName(form.FichierLib.SourceMachine));
    return all;
  }
  // A list of `count` functions bound to a DLL; every third one is named
  // with "bessel".
  void LoadBound(int count) {
    std::vector<TFonctionLib> entries;
    for (int i = 0; i < count; ++i) {
      TFonctionLib e = Entry((i % 3 ? "gsl_sf_fn" : "gsl_sf_bessel_") + std::to_string(i),
                             4 * (i % 4), i % 2 == 0);
      e.Import.Dll = "gsl.dll";
      e.Import.ExportName = "_" + e.Name + "@" + std::to_string(e.ArgLength);
      e.Import.Ordinal = static_cast<std::uint16_t>(i + 1);
      entries.push_back(e);
    }
    SetList(form.FichierLib, entries);
    form.FileName.clear();
    form.Source = TSourceForm::None;
    form.FillListBox();
  }
  TempDir dir;
};

// Deleting any number of lines, shown all or through the filter, and
// undoing gives back every entry whole, and the caption's mark follows.
TEST_F(UndoPropertyTest, ADeleteOfAnyCountUndoesWhole) {
  struct Case {
    int count;
    const char* filter;
    int first, last;  // the lines selected, by shown position
  };
  for (const Case& c : {Case{200, "", 99, 162}, Case{200, "", 99, 163}, Case{200, "", 99, 169},
                        Case{3664, "bessel", -1, -1}}) {
    SCOPED_TRACE(std::to_string(c.count) + c.filter + std::to_string(c.last - c.first + 1));
    LoadBound(c.count);
    const std::vector<std::string> read = Everything();
    form.Edit3->setText(c.filter);
    form.ListBox1->setFocus();
    if (c.first < 0) {
      QTest::keyClick(form.ListBox1, Qt::Key_A, Qt::ControlModifier);
    } else {
      ClickLine(form.ListBox1->EntryOfLine(c.first));
      ClickLine(form.ListBox1->EntryOfLine(c.last), Qt::ShiftModifier);
    }
    const std::size_t selected = SelectedLines().size();
    QTest::keyClick(form.ListBox1, Qt::Key_Delete);
    EXPECT_EQ(form.Fonctions().Count, c.count - selected);
    EXPECT_TRUE(Caption().startsWith('*'));
    QTest::keyClick(form.ListBox1, Qt::Key_Z, Qt::ControlModifier);
    form.Edit3->clear();
    EXPECT_EQ(Everything(), read);
    EXPECT_FALSE(Caption().startsWith('*'));
    EXPECT_EQ(SelectedLines().size(), selected) << "what came back is selected";
  }
}

// A name typed and put back keeps the import, within one step or across
// two; the Import line shows it all the while.
TEST_F(UndoPropertyTest, ANameEditedAndPutBackKeepsTheImport) {
  TFonctionLib e = Entry("FMUSIC_GetPattern", 4, true);
  e.Import.Dll = "fmod.dll";
  e.Import.ExportName = "_FMUSIC_GetPattern@4";
  e.Import.Symbol = "_FMUSIC_GetPattern@4";
  Load({e});
  const std::vector<std::string> read = Everything();
  ClickLine(0);
  Type(form.Edit1, "Z");
  EXPECT_EQ(form.Label8->text(), "FMUSIC_GetPatternZ de fmod.dll");
  EXPECT_EQ(form.Label4->text(), "_FMUSIC_GetPatternZ@4");
  QTest::keyClick(form.Edit1, Qt::Key_Backspace);
  EXPECT_EQ(Everything(), read);
  EXPECT_EQ(form.Label8->text(), "_FMUSIC_GetPattern@4 de fmod.dll");
  // Put back after the selection moved: the file's lookup still returns.
  Type(form.Edit1, "Z");
  ClickLine(0);
  form.Edit1->end(false);
  QTest::keyClick(form.Edit1, Qt::Key_Backspace);
  EXPECT_EQ(Everything(), read);
  // Saved, the client symbol and the DLL are the file's.
  const std::string lib = dir.File("fmod.lib");
  dialogs.Confirm(lib, 1);
  form.EnregistrerSous1->trigger();
  TFichierLib back;
  ASSERT_TRUE(back.ReadCoffLibrary(lib));
  ASSERT_EQ(back.Fonctions.Count, 1u);
  EXPECT_EQ(back.Fonctions.Item(0).Import.Dll, "fmod.dll");
  EXPECT_EQ(MicrosoftName(back.Fonctions.Item(0)), "_FMUSIC_GetPattern@4");
}

// x64 and back is the list as it was; after an edit under x64 the way
// back is refused with the reason, and undo still has it.
TEST_F(UndoPropertyTest, AMachineChangedAndChangedBackIsTheListItWas) {
  LoadBound(20);
  const std::vector<std::string> read = Everything();
  form.MachineX64->trigger();
  EXPECT_NE(Everything(), read);
  form.MachineX86->trigger();
  EXPECT_EQ(Everything(), read);
  EXPECT_TRUE(Caption().startsWith('*')) << "two steps, both undoable";
  EXPECT_TRUE(form.MachineX86->isChecked());
  form.MachineX64->trigger();
  form.MachineArm64->trigger();  // no decorations to drop on the way
  form.MachineX86->trigger();
  EXPECT_EQ(Everything(), read);

  form.MachineX64->trigger();
  const std::vector<std::string> x64 = Everything();
  ClickLine(3);
  Type(form.Edit1, "Q");
  boxes.Clear();
  form.MachineX86->trigger();
  ASSERT_EQ(boxes.Calls().size(), 1u);
  EXPECT_NE(boxes.Calls()[0].text.find("Annulez ce passage"), std::string::npos);
  EXPECT_TRUE(form.MachineX64->isChecked());
  while (form.UndoStack->canUndo()) form.UndoStack->undo();
  EXPECT_EQ(Everything(), read);
}

// After an accepted lossy save the list is what the file holds, as one
// step that undo takes back; the caption carries no "*" after it.
TEST_F(UndoPropertyTest, ALossySaveLeavesTheListAsTheFileHoldsIt) {
  TFonctionLib e = Entry("FMUSIC_FreeSong", 12, true);
  e.Import.Dll = "fmod.dll";
  e.Import.ExportName = "_FMUSIC_FreeSong@4";
  TFonctionLib data = Entry("FMUSIC_Table", 0, false);
  data.Import.Dll = "fmod.dll";
  data.Import.ExportName = "_FMUSIC_Table";
  data.Import.Kind = ImportKind::Data;
  Load({e, data});
  SetMessageBoxHandler([](void*, const std::string&, const std::string&, UINT) { return kIdYes; });
  const std::string omf = dir.File("fmodbc.lib");
  dialogs.Confirm(omf, 2);
  form.EnregistrerSous1->trigger();
  TFichierLib back;
  ASSERT_TRUE(back.ReadOmfLibrary(omf));
  for (std::uint32_t i = 0; i < 2; ++i)
    EXPECT_EQ(Whole(form.Fonctions().Item(i)), Whole(back.Fonctions.Item(i)));
  EXPECT_EQ(form.Fonctions().Item(0).ArgLength, 4);
  EXPECT_EQ(Caption(), QString::fromStdString(omf) + " (Borland)");
  form.UndoStack->undo();
  EXPECT_EQ(form.Fonctions().Item(0).ArgLength, 12);
  EXPECT_TRUE(Caption().startsWith('*'));
}

// A few hundred random edits of every kind on a real library's list:
// undoing them all gives the list as read, bindings included; redoing
// them all gives the list they made.
TEST_F(UndoPropertyTest, RandomEditsUndoToTheListAsReadAndRedoToTheLast) {
  if (!std::filesystem::exists(kFmod)) GTEST_SKIP() << "no corpus at " << kFmod;
  ASSERT_TRUE(form.OpenFile(kFmod, kOpenLibrary));
  const std::vector<std::string> read = Everything();
  std::mt19937 random(26);
  auto pick = [&](int n) { return n <= 0 ? 0 : static_cast<int>(random() % n); };
  auto someLine = [&] { return form.ListBox1->EntryOfLine(pick(form.ListBox1->count())); };
  const char* filters[] = {"", "", "fmusic", "sample", "_f", "@"};
  for (int step = 0; step < 300; ++step) {
    SCOPED_TRACE(step);
    const int shown = form.ListBox1->count();
    switch (pick(12)) {
      case 0:  // a run of lines deleted
        if (shown == 0) break;
        ClickLine(someLine());
        ClickLine(someLine(), Qt::ShiftModifier);
        Click(form.Button2);
        break;
      case 1:  // scattered lines deleted
        for (int k = 0; k < 3 && shown > 0; ++k) ClickLine(someLine(), Qt::ControlModifier);
        QTest::keyClick(form.ListBox1, Qt::Key_Delete);
        break;
      case 2:  // a new function, named
        if (shown > 0) ClickLine(someLine());
        Click(form.Button1);
        Type(form.Edit1, "New" + QString::number(step));
        break;
      case 3:  // a rename, kept or put back
        if (shown == 0) break;
        ClickLine(someLine());
        Type(form.Edit1, "x");
        if (pick(2)) QTest::keyClick(form.Edit1, Qt::Key_Backspace);
        break;
      case 4:
      case 5:  // a convention for a few lines
        if (shown == 0) break;
        ClickLine(someLine());
        ClickLine(someLine(), Qt::ControlModifier);
        Click(pick(2) ? form.RadioButton1 : form.RadioButton2);
        break;
      case 6:  // a length
        if (shown == 0) break;
        ClickLine(someLine());
        Erase(form.Edit2);
        Type(form.Edit2, QString::number(4 * pick(5)));
        break;
      case 7: {  // another machine, maybe back
        QAction* machines[] = {form.MachineX86, form.MachineX64, form.MachineArm64};
        machines[pick(3)]->trigger();
        break;
      }
      case 8:  // the filter
        form.Edit3->setText(filters[pick(6)]);
        break;
      case 9:  // a sort
        form.ListBox1->sortByColumn(pick(kColumnCount + 1) - 1,
                                    pick(2) ? Qt::AscendingOrder : Qt::DescendingOrder);
        break;
      case 10:  // a few steps back
        for (int k = pick(4); k > 0 && form.UndoStack->canUndo(); --k) form.UndoStack->undo();
        break;
      case 11:  // and forward
        for (int k = pick(3); k > 0 && form.UndoStack->canRedo(); --k) form.UndoStack->redo();
        break;
    }
  }
  while (form.UndoStack->canRedo()) form.UndoStack->redo();
  const std::vector<std::string> last = Everything();
  ASSERT_GT(form.UndoStack->count(), 80);
  while (form.UndoStack->canUndo()) form.UndoStack->undo();
  EXPECT_EQ(Everything(), read);
  EXPECT_FALSE(Caption().startsWith('*'));
  while (form.UndoStack->canRedo()) form.UndoStack->redo();
  EXPECT_EQ(Everything(), last);
}
