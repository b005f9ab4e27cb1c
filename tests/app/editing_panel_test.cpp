// The editing panel driven as a user drives it: clicks with Ctrl and
// Shift, typed keys, the spinner's arrows.
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>
#include <QUndoStack>

#include <functional>

#include "app/export_list_model.h"
#include "app/list_box.h"
#include "app/up_down.h"
#include "tests/app/form_harness.h"

namespace {

// What the panel shows: Edit1, Edit2, "_pascal" and "_stdcall" checked
// (p, s or -), Label4, Label6, joined by "|".
std::string Shown(const TForm1& form) {
  const char* check = form.RadioButton1->isChecked()   ? "p"
                      : form.RadioButton2->isChecked() ? "s"
                                                       : "-";
  return QStringList{form.Edit1->text(), form.Edit2->text(), check, form.Label4->text(),
                     form.Label6->text()}
      .join('|')
      .toStdString();
}

}  // namespace

class EditingPanelTest : public FormTest {
 protected:
  // Clicks the first line alone, then the others with Ctrl.
  void Select(const std::vector<int>& rows) {
    for (std::size_t i = 0; i < rows.size(); ++i)
      ClickLine(rows[i], i == 0 ? Qt::NoModifier : Qt::ControlModifier);
  }
};

TEST_F(EditingPanelTest, SelectionDisplayShowsWhatTheSelectedEntriesShare) {
  struct Case {
    std::vector<TFonctionLib> entries;
    std::vector<int> clicked;
    std::string shown;
  };
  const std::vector<Case> cases = {
      {{Entry("Foo", 8, true), Entry("Bar", 4, false)}, {0}, "Foo|8|p|_Foo@8|Foo"},
      {{Entry("Foo", 8, true), Entry("Bar", 4, false)}, {1}, "Bar|4|s|_Bar|_Bar"},
      {{Entry("A", 4, true), Entry("B", 8, true)}, {0, 1}, "||p||"},
      {{Entry("A", 8, false), Entry("B", 8, false)}, {0, 1}, "|8|s||"},
      {{Entry("A", -4, true), Entry("B", -4, true)}, {0}, "A|-4|p|_A@-4|A"},
      {{Entry("A", -4, true), Entry("B", -4, true)}, {0, 1}, "||p||"},
      {{Entry("A", 0, true), Entry("B", 0, false)}, {0, 1}, "|0|-||"},
  };
  for (const Case& c : cases) {
    Load(c.entries);
    Select(c.clicked);
    EXPECT_EQ(SelectedLines(), c.clicked);
    EXPECT_EQ(Shown(form), c.shown);
    EXPECT_EQ(List(), c.entries) << "a click never changes an entry";
  }
  // The arrow keys move the selection too; Shift extends it.
  QTest::keyClick(form.ListBox1, Qt::Key_Up);
  EXPECT_EQ(Shown(form), "A|0|p|_A@0|A");
  QTest::keyClick(form.ListBox1, Qt::Key_Down, Qt::ShiftModifier);
  EXPECT_EQ(Shown(form), "|0|-||");
  EXPECT_TRUE(boxes.Calls().empty());
}

TEST_F(EditingPanelTest, AjouterOnAnEmptyListMakesOneFreshSelectedEntry) {
  Click(form.Button1);
  EXPECT_EQ(List(), (std::vector<TFonctionLib>{Entry("", 0, true)}));
  EXPECT_EQ(Lines(), (std::vector<QString>{""}));
  EXPECT_EQ(SelectedLines(), (std::vector<int>{0}));
  EXPECT_EQ(Shown(form), "|0|p|_@0|");
  EXPECT_EQ(QApplication::focusWidget(), form.Edit1);
}

TEST_F(EditingPanelTest, AjouterInsertsBeforeTheCurrentLineAndSelectsOnlyTheNewOne) {
  LoadNumbered(5);
  Select({1, 2});
  Click(form.Button1);
  EXPECT_EQ(Lines(), (std::vector<QString>{"E0", "E1", "", "E2", "E3", "E4"}));
  EXPECT_EQ(List()[2], Entry("", 0, true));
  EXPECT_EQ(List()[5].Name, "E4");
  EXPECT_EQ(SelectedLines(), (std::vector<int>{2}));
  EXPECT_EQ(form.ListBox1->currentRow(), 2);
}

TEST_F(EditingPanelTest, TypingANameRenamesTheCurrentEntryAtEachKey) {
  Load({Entry("", 8, true), Entry("Other", 8, true)});
  Select({1, 0});  // both selected, line 0 current
  Type(form.Edit1, "Foo");
  EXPECT_EQ(Lines(), (std::vector<QString>{"Foo", "Other"}));
  EXPECT_EQ(List()[0], Entry("Foo", 8, true));
  EXPECT_EQ(form.Label4->text() + " " + form.Label6->text(), "_Foo@8 Foo");
  Click(form.RadioButton2);
  EXPECT_EQ(form.Label4->text() + " " + form.Label6->text(), "_Foo _Foo");
}

TEST_F(EditingPanelTest, NamesAreKeptInWindows1252) {
  Click(form.Button1);
  Type(form.Edit1, QString::fromUtf8("Déjà€δ"));
  EXPECT_EQ(List()[0].Name, "D\xE9j\xE0\x80?");
  EXPECT_EQ(Lines()[0], QString::fromUtf8("Déjà€?")) << "the line shows what the entry holds";
  Load({Entry("\xC0\x9F", 0, false)});
  ClickLine(0);
  EXPECT_EQ(form.Edit1->text(), QString::fromUtf8("ÀŸ"));
}

TEST_F(EditingPanelTest, TypedLengthGoesToEverySelectedEntry) {
  LoadNumbered(4);
  Select({0, 1, 3});
  Erase(form.Edit2);
  boxes.Clear();
  QTest::keyClick(form.Edit2, Qt::Key_1);
  EXPECT_EQ(List()[0].ArgLength, 1) << "the intermediate value";
  QTest::keyClick(form.Edit2, Qt::Key_2);
  std::vector<int> lengths;
  for (const TFonctionLib& entry : List()) lengths.push_back(entry.ArgLength);
  EXPECT_EQ(lengths, (std::vector<int>{12, 12, 0, 12}));
  EXPECT_EQ(form.Label4->text(), "_E3@12");
  EXPECT_TRUE(boxes.Calls().empty());
}

// The length is checked as it is typed: no box; what is no number changes
// nothing and is marked; an unlikely length is marked and taken.
TEST_F(EditingPanelTest, TheLengthIsCheckedAsItIsTyped) {
  Load({Entry("A", 8, true), Entry("B", 8, true)});
  Select({0, 1});
  struct Case {
    const char* typed;
    int length;       // of both entries after it
    const char* note;  // what the field says
  };
  for (const Case& c : {Case{"", 8, "Tapez un nombre"}, Case{"-", 8, "Pas un nombre entier"},
                        Case{"-4", -4, "Longueur négative"}, Case{"7", 7, "Pas un multiple de 4"},
                        Case{"99999", 99999, "Plus de 1024 octets ?"}, Case{"12", 12, ""}}) {
    SCOPED_TRACE(c.typed);
    Erase(form.Edit2);
    Type(form.Edit2, c.typed);
    EXPECT_EQ(List()[0].ArgLength, c.length);
    EXPECT_EQ(List()[1].ArgLength, c.length);
    EXPECT_EQ(form.Panel->LengthNote->text(), c.note);
    EXPECT_EQ(form.Edit2->toolTip(), c.note);
  }
  EXPECT_TRUE(boxes.Calls().empty());
}

TEST_F(EditingPanelTest, ConventionClickAppliesToEverySelectedEntry) {
  Load({Entry("A", 4, true), Entry("B", 4, false), Entry("C", 4, true)});
  Select({0, 1});
  Click(form.RadioButton2);
  EXPECT_EQ(List(), (std::vector<TFonctionLib>{Entry("A", 4, false), Entry("B", 4, false),
                                               Entry("C", 4, true)}));
  EXPECT_EQ(form.Label4->text(), "_B");
}

TEST_F(EditingPanelTest, SupprimerRemovesTheSelectedLinesAndShowsTheLineInTheirPlace) {
  LoadNumbered(5);
  Select({1, 3});
  Click(form.Button2);
  EXPECT_EQ(Lines(), (std::vector<QString>{"E0", "E2", "E4"}));
  // The line that took the first removed one's place is selected and shown.
  EXPECT_EQ(SelectedLines(), (std::vector<int>{1}));
  EXPECT_EQ(Shown(form), "E2|0|p|_E2@0|E2");

  // Runs of neighbours and single lines together.
  LoadNumbered(9);
  ClickLine(0);
  ClickLine(1, Qt::ShiftModifier);
  for (int row : {3, 6, 7, 8, 8}) ClickLine(row, Qt::ControlModifier);  // 8 on and off
  Click(form.Button2);
  EXPECT_EQ(Lines(), (std::vector<QString>{"E2", "E4", "E5", "E8"}));
  std::vector<QString> names;
  for (const TFonctionLib& entry : List()) names.push_back(QString::fromStdString(entry.Name));
  EXPECT_EQ(names, Lines());
}

TEST_F(EditingPanelTest, WithNoCurrentLineEditsChangeNothingAndLabelsStayEmpty) {
  Load({Entry("A", 4, true)});
  ClickLine(0);
  Click(form.Button2);
  ASSERT_EQ(form.ListBox1->currentRow(), -1);
  ASSERT_EQ(Shown(form), "||-||") << "the panel of an emptied list is empty";
  Type(form.Edit1, "Z");
  Click(form.RadioButton2);
  Type(form.Edit2, "7");
  EXPECT_EQ(form.Fonctions().Count, 0u);
  EXPECT_EQ(form.ListBox1->count(), 0);
  EXPECT_EQ(form.Label4->text() + form.Label6->text(), "");
  EXPECT_TRUE(boxes.Calls().empty());
}

TEST_F(EditingPanelTest, SpinnerStepsFromTheTypedValueWithinItsRange) {
  Load({Entry("A", 0, true), Entry("B", 0, true)});
  Select({0, 1});
  Type(form.Edit2, "5");  // "05"
  Click(form.UpDown1->UpButton());
  EXPECT_EQ(List(), (std::vector<TFonctionLib>{Entry("A", 6, true), Entry("B", 6, true)}));
  QTest::keyClick(form.Edit2, Qt::Key_Down);
  QTest::keyClick(form.Edit2, Qt::Key_Down);
  EXPECT_EQ(form.Edit2->text(), "4");
  EXPECT_EQ(List()[1].ArgLength, 4);
  struct Step {
    const char* before;
    QToolButton* arrow;
    const char* after;
  };
  for (const Step& step : {Step{"1000", form.UpDown1->UpButton(), "1000"},  // no wrap-around
                           Step{"0", form.UpDown1->DownButton(), "0"},
                           Step{"-40", form.UpDown1->UpButton(), "1"}}) {  // own position
    form.Edit2->setText(step.before);
    Click(step.arrow);
    EXPECT_EQ(form.Edit2->text(), step.after) << step.before;
  }
  EXPECT_TRUE(boxes.Calls().empty());
}

// A paste into a name box takes one name: of the list's own copied rows
// the cell of the box's column, of other text its first cell. What still
// holds a control character is refused: the box is marked and the list
// keeps its name.
TEST_F(EditingPanelTest, APastedNameIsOneCellAndAControlCharacterIsRefused) {
  TFonctionLib source = BoundTo("_Src@4", "Src", ImportKind::Code, "src.dll");
  const TFonctionLib target = BoundTo("_Dst@4", "Dst", ImportKind::Code, "dst.dll");
  Load({source, target});
  ClickLine(0);
  form.ListBox1->setColumnHidden(kColumnDll, false);
  form.Copier1->trigger();
  const QString rows = QGuiApplication::clipboard()->text();
  form.ListBox1->setColumnHidden(kColumnDll, true);
  form.Copier1->trigger();
  const QString rowsWithoutDll = QGuiApplication::clipboard()->text();
  auto name = [](const TFonctionLib& e) { return e.Name; };
  auto dll = [](const TFonctionLib& e) { return e.Import.Dll; };
  auto exported = [](const TFonctionLib& e) { return e.Import.ExportName; };
  struct Case {
    QLineEdit* box;
    std::function<std::string(const TFonctionLib&)> field;
    QString pasted;
    std::string taken;  // "" for refused
  };
  const std::vector<Case> cases = {
      {form.Edit1, name, rows, "Src"},
      {form.Panel->DllEdit, dll, rows, "src.dll"},
      {form.Panel->DllEdit, dll, rowsWithoutDll, ""},
      {form.Edit1, name, "Abc\tdef\nghi\tjkl\n", "Abc"},
      {form.Panel->ExportEdit, exported, "Exp\r\nNext", "Exp"},
      {form.Edit1, name, QString::fromLatin1("A\x01" "B"), ""},
      {form.Panel->ExportEdit, exported, QString::fromLatin1("E\x7F"), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pasted.toStdString());
    Load({source, target});
    ClickLine(1);
    QGuiApplication::clipboard()->setText(c.pasted);
    c.box->setFocus();
    QTest::keyClick(c.box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(c.box, Qt::Key_V, Qt::ControlModifier);
    const bool refused = c.taken.empty();
    EXPECT_EQ(c.field(List()[1]), refused ? c.field(target) : c.taken);
    EXPECT_EQ(form.UndoStack->count(), refused ? 0 : 1);
    EXPECT_EQ(c.box->styleSheet().isEmpty(), !refused);
    EXPECT_EQ(c.box->toolTip().isEmpty(), !refused);
    // Another line shows its own name unmarked.
    ClickLine(0);
    EXPECT_TRUE(c.box->styleSheet().isEmpty());
  }
}
