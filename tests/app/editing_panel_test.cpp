// The editing panel driven as a user drives it: clicks with Ctrl and
// Shift, typed keys, the spinner's arrows.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

#include "app/list_box.h"
#include "app/up_down.h"
#include "tests/app/form_harness.h"

namespace {

// What the panel shows.
struct Panel {
  QString edit1;
  QString edit2;
  bool pascal;
  bool stdcall;
  QString label4;
  QString label6;
};

bool operator==(const Panel& a, const Panel& b) {
  return a.edit1 == b.edit1 && a.edit2 == b.edit2 && a.pascal == b.pascal &&
         a.stdcall == b.stdcall && a.label4 == b.label4 && a.label6 == b.label6;
}

void PrintTo(const Panel& p, std::ostream* os) {
  *os << "{Edit1 \"" << p.edit1.toStdString() << "\", Edit2 \"" << p.edit2.toStdString()
      << "\", pascal " << p.pascal << ", stdcall " << p.stdcall << ", Label4 \""
      << p.label4.toStdString() << "\", Label6 \"" << p.label6.toStdString() << "\"}";
}

}  // namespace

class EditingPanelTest : public FormTest {
 protected:
  Panel Shown() {
    return {form.Edit1->text(),          form.Edit2->text(),   form.RadioButton1->isChecked(),
            form.RadioButton2->isChecked(), form.Label4->text(), form.Label6->text()};
  }
  // Clicks the first line alone, then the others with Ctrl.
  void Select(const std::vector<int>& rows) {
    for (std::size_t i = 0; i < rows.size(); ++i)
      ClickLine(rows[i], i == 0 ? Qt::NoModifier : Qt::ControlModifier);
  }
};

struct SelectionCase {
  const char* name;
  std::vector<TFonctionLib> entries;
  std::vector<int> clicked;  // first plain, then with Ctrl
  Panel expected;
};

TEST_F(EditingPanelTest, SelectionDisplayShowsWhatTheSelectedEntriesShare) {
  const std::vector<SelectionCase> cases = {
      {"one line", {Entry("Foo", 8, true), Entry("Bar", 4, false)}, {0},
       {"Foo", "8", true, false, "_Foo@8", "Foo"}},
      {"one _stdcall line", {Entry("Foo", 8, true), Entry("Bar", 4, false)}, {1},
       {"Bar", "4", false, true, "_Bar", "_Bar"}},
      {"different lengths", {Entry("A", 4, true), Entry("B", 8, true)}, {0, 1},
       {"", "", true, false, "", ""}},
      {"equal lengths", {Entry("A", 8, false), Entry("B", 8, false)}, {0, 1},
       {"", "8", false, true, "", ""}},
      {"negative alone", {Entry("A", -4, true), Entry("B", -4, true)}, {0},
       {"A", "-4", true, false, "_A@-4", "A"}},
      {"negative pair", {Entry("A", -4, true), Entry("B", -4, true)}, {0, 1},
       {"", "", true, false, "", ""}},
      {"mixed conventions", {Entry("A", 0, true), Entry("B", 0, false)}, {0, 1},
       {"", "0", false, false, "", ""}},
  };
  for (const SelectionCase& c : cases) {
    SCOPED_TRACE(c.name);
    Load(c.entries);
    Select(c.clicked);
    EXPECT_EQ(SelectedLines(), c.clicked);
    EXPECT_EQ(Shown(), c.expected);
    EXPECT_EQ(List(), c.entries) << "a click never changes an entry";
  }
  EXPECT_TRUE(boxes.Calls().empty());
}

TEST_F(EditingPanelTest, ShiftClickSelectsTheRangeFromTheCurrentLine) {
  Load({Entry("A", 4, true), Entry("B", 4, true), Entry("C", 4, true), Entry("D", 8, true)});
  ClickLine(0);
  ClickLine(2, Qt::ShiftModifier);
  EXPECT_EQ(SelectedLines(), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(Shown(), (Panel{"", "4", true, false, "", ""}));
  ClickLine(3, Qt::ShiftModifier);
  EXPECT_EQ(Shown(), (Panel{"", "", true, false, "", ""}));
}

TEST_F(EditingPanelTest, ArrowKeysInTheListMoveTheSelectionAndShowIt) {
  Load({Entry("A", 4, true), Entry("B", 8, false)});
  ClickLine(0);
  QTest::keyClick(form.ListBox1, Qt::Key_Down);
  EXPECT_EQ(SelectedLines(), (std::vector<int>{1}));
  EXPECT_EQ(Shown(), (Panel{"B", "8", false, true, "_B", "_B"}));
  QTest::keyClick(form.ListBox1, Qt::Key_Up, Qt::ShiftModifier);
  EXPECT_EQ(SelectedLines(), (std::vector<int>{0, 1}));
  EXPECT_EQ(Shown(), (Panel{"", "", false, false, "", ""}));
}

TEST_F(EditingPanelTest, AjouterOnAnEmptyListMakesOneFreshSelectedEntry) {
  Click(form.Button1);
  EXPECT_EQ(List(), (std::vector<TFonctionLib>{Entry("", 0, true)}));
  EXPECT_EQ(Lines(), (std::vector<QString>{""}));
  EXPECT_EQ(SelectedLines(), (std::vector<int>{0}));
  EXPECT_EQ(form.ListBox1->currentRow(), 0);
  EXPECT_EQ(Shown(), (Panel{"", "0", true, false, "_@0", ""}));
  EXPECT_EQ(QApplication::focusWidget(), form.Edit1);
}

TEST_F(EditingPanelTest, AjouterInsertsBeforeTheCurrentLineAndSelectsOnlyTheNewOne) {
  LoadNumbered(5);
  ClickLine(1);
  ClickLine(2, Qt::ControlModifier);
  ASSERT_EQ(form.ListBox1->currentRow(), 2);
  Click(form.Button1);
  EXPECT_EQ(Lines(), (std::vector<QString>{"E0", "E1", "", "E2", "E3", "E4"}));
  const std::vector<TFonctionLib> list = List();
  ASSERT_EQ(list.size(), 6u);
  EXPECT_EQ(list[2], Entry("", 0, true));
  EXPECT_EQ(list[3].Name, "E2");
  EXPECT_EQ(list[5].Name, "E4");
  EXPECT_EQ(SelectedLines(), (std::vector<int>{2}));
  EXPECT_EQ(form.ListBox1->currentRow(), 2);
  EXPECT_EQ(Shown(), (Panel{"", "0", true, false, "_@0", ""}));
}

TEST_F(EditingPanelTest, TypingANameRenamesTheCurrentEntryAtEachKey) {
  Load({Entry("", 8, true), Entry("Other", 8, true)});
  ClickLine(0);
  Type(form.Edit1, "Foo");
  EXPECT_EQ(Lines()[0], "Foo");
  EXPECT_EQ(List()[0], Entry("Foo", 8, true));
  EXPECT_EQ(form.Label4->text(), "_Foo@8");
  EXPECT_EQ(form.Label6->text(), "Foo");
  Click(form.RadioButton2);
  EXPECT_EQ(List()[0], Entry("Foo", 8, false));
  EXPECT_EQ(form.Label4->text(), "_Foo");
  EXPECT_EQ(form.Label6->text(), "_Foo");
  EXPECT_EQ(List()[1], Entry("Other", 8, true));
}

TEST_F(EditingPanelTest, TypedNameOnlyRenamesTheCurrentOfSeveralSelectedLines) {
  LoadNumbered(3);
  ClickLine(0);
  ClickLine(2, Qt::ControlModifier);
  Type(form.Edit1, "X");
  EXPECT_EQ(Lines(), (std::vector<QString>{"E0", "E1", "X"}));
  EXPECT_EQ(List()[0].Name, "E0");
  EXPECT_EQ(List()[2].Name, "X");
}

TEST_F(EditingPanelTest, NamesAreKeptInWindows1252) {
  Click(form.Button1);
  Type(form.Edit1, QString::fromUtf8("Déjà€δ"));
  EXPECT_EQ(List()[0].Name, "D\xE9j\xE0\x80?");
  // The line shows what the entry holds.
  EXPECT_EQ(Lines()[0], QString::fromUtf8("Déjà€?"));
  EXPECT_EQ(form.Label4->text(), QString::fromUtf8("_Déjà€?@0"));

  Load({Entry("\xC0\x9F", 0, false)});
  ClickLine(0);
  EXPECT_EQ(form.Edit1->text(), QString::fromUtf8("ÀŸ"));
  EXPECT_EQ(Lines()[0], QString::fromUtf8("ÀŸ"));
}

TEST_F(EditingPanelTest, TypedLengthGoesToEverySelectedEntry) {
  LoadNumbered(4);
  ClickLine(0);
  ClickLine(1, Qt::ControlModifier);
  ClickLine(3, Qt::ControlModifier);
  Erase(form.Edit2);
  boxes.Clear();
  QTest::keyClick(form.Edit2, Qt::Key_1);
  EXPECT_EQ(List()[0].ArgLength, 1) << "the intermediate value";
  QTest::keyClick(form.Edit2, Qt::Key_2);
  const std::vector<TFonctionLib> list = List();
  EXPECT_EQ(list[0].ArgLength, 12);
  EXPECT_EQ(list[1].ArgLength, 12);
  EXPECT_EQ(list[2].ArgLength, 0);
  EXPECT_EQ(list[3].ArgLength, 12);
  // The current line (3) gives the labels.
  EXPECT_EQ(form.Label4->text(), "_E3@12");
  EXPECT_TRUE(boxes.Calls().empty());
}

TEST_F(EditingPanelTest, EmptyingTheLengthShowsTheConversionErrorAndChangesNothing) {
  Load({Entry("A", 8, true), Entry("B", 8, true)});
  ClickLine(0);
  ClickLine(1, Qt::ControlModifier);
  Erase(form.Edit2);
  ASSERT_EQ(boxes.Calls().size(), 1u);
  EXPECT_EQ(boxes.Calls()[0].text, "'' n'est pas une valeur entière correcte");
  EXPECT_EQ(boxes.Calls()[0].caption, "Libmorph");
  EXPECT_EQ(boxes.Calls()[0].style, 16u);
  EXPECT_EQ(List(), (std::vector<TFonctionLib>{Entry("A", 8, true), Entry("B", 8, true)}));
  // A lone "-" is no number either; the window goes on taking keys.
  QTest::keyClick(form.Edit2, Qt::Key_Minus);
  EXPECT_EQ(boxes.Calls().size(), 2u);
  QTest::keyClick(form.Edit2, Qt::Key_4);
  EXPECT_EQ(List()[0].ArgLength, -4);
  EXPECT_EQ(List()[1].ArgLength, -4);
}

TEST_F(EditingPanelTest, ConventionClickAppliesToEverySelectedEntry) {
  Load({Entry("A", 4, true), Entry("B", 4, false), Entry("C", 4, true)});
  ClickLine(0);
  ClickLine(1, Qt::ControlModifier);
  ASSERT_FALSE(form.RadioButton1->isChecked());
  ASSERT_FALSE(form.RadioButton2->isChecked());
  Click(form.RadioButton2);
  EXPECT_EQ(List(), (std::vector<TFonctionLib>{Entry("A", 4, false), Entry("B", 4, false),
                                               Entry("C", 4, true)}));
  EXPECT_EQ(form.Label4->text(), "_B");
  EXPECT_EQ(form.Label6->text(), "_B");
  Click(form.RadioButton1);
  EXPECT_TRUE(List()[0].IsPascal);
  EXPECT_TRUE(List()[1].IsPascal);
  EXPECT_EQ(form.Label4->text(), "_B@4");
}

TEST_F(EditingPanelTest, SupprimerRemovesTheSelectedLinesAndLeavesThePanel) {
  LoadNumbered(5);
  ClickLine(1);
  ClickLine(3, Qt::ControlModifier);
  const Panel before = Shown();
  Click(form.Button2);
  EXPECT_EQ(Lines(), (std::vector<QString>{"E0", "E2", "E4"}));
  const std::vector<TFonctionLib> list = List();
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].Name, "E0");
  EXPECT_EQ(list[1].Name, "E2");
  EXPECT_EQ(list[2].Name, "E4");
  EXPECT_TRUE(SelectedLines().empty());
  EXPECT_EQ(Shown(), before);
  Click(form.Button2);  // nothing selected: nothing happens
  EXPECT_EQ(Lines().size(), 3u);
}

TEST_F(EditingPanelTest, SupprimerRemovesRunsAndSingleLinesAlike) {
  LoadNumbered(9);
  ClickLine(0);
  ClickLine(1, Qt::ShiftModifier);
  ClickLine(3, Qt::ControlModifier);
  ClickLine(6, Qt::ControlModifier);
  ClickLine(7, Qt::ControlModifier);
  ClickLine(8, Qt::ControlModifier);
  ClickLine(8, Qt::ControlModifier);  // and off again
  ASSERT_EQ(SelectedLines(), (std::vector<int>{0, 1, 3, 6, 7}));
  Click(form.Button2);
  EXPECT_EQ(Lines(), (std::vector<QString>{"E2", "E4", "E5", "E8"}));
  std::vector<std::string> names;
  for (const TFonctionLib& entry : List()) names.push_back(entry.Name);
  EXPECT_EQ(names, (std::vector<std::string>{"E2", "E4", "E5", "E8"}));
}

TEST_F(EditingPanelTest, WithNoCurrentLineEditsChangeNothingAndLabelsStayEmpty) {
  Load({Entry("A", 4, true)});
  ClickLine(0);
  ASSERT_EQ(form.Label4->text(), "_A@4");
  Click(form.Button2);
  ASSERT_EQ(form.ListBox1->currentRow(), -1);
  ASSERT_EQ(form.Label4->text(), "_A@4") << "Supprimer leaves the panel as it was";
  Type(form.Edit1, "Z");
  Click(form.RadioButton2);
  Erase(form.Edit2);
  boxes.Clear();
  Type(form.Edit2, "7");
  EXPECT_EQ(form.Fonctions().Count, 0u);
  EXPECT_EQ(form.ListBox1->count(), 0);
  EXPECT_EQ(form.Label4->text(), "");
  EXPECT_EQ(form.Label6->text(), "");
  EXPECT_TRUE(boxes.Calls().empty());
}

TEST_F(EditingPanelTest, SpinnerStepsFromTheTypedValueWithinItsRange) {
  Load({Entry("A", 0, true), Entry("B", 0, true)});
  ClickLine(0);
  ClickLine(1, Qt::ControlModifier);
  Type(form.Edit2, "5");  // "05"
  Click(form.UpDown1->UpButton());
  EXPECT_EQ(form.Edit2->text(), "6");
  EXPECT_EQ(List()[0].ArgLength, 6);
  EXPECT_EQ(List()[1].ArgLength, 6);
  QTest::keyClick(form.Edit2, Qt::Key_Down);
  QTest::keyClick(form.Edit2, Qt::Key_Down);
  EXPECT_EQ(form.Edit2->text(), "4");
  EXPECT_EQ(List()[1].ArgLength, 4);

  form.Edit2->setText("1000");
  Click(form.UpDown1->UpButton());
  EXPECT_EQ(form.Edit2->text(), "1000") << "no wrap-around at the top";
  form.Edit2->setText("0");
  Click(form.UpDown1->DownButton());
  EXPECT_EQ(form.Edit2->text(), "0") << "no wrap-around at the bottom";
  // A text outside the range leaves the spinner's own position to step from.
  form.Edit2->setText("-40");
  QTest::keyClick(form.Edit2, Qt::Key_Up);
  EXPECT_EQ(form.Edit2->text(), "1");
  EXPECT_EQ(List()[0].ArgLength, 1);
  EXPECT_TRUE(boxes.Calls().empty());
}
