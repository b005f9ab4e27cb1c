#include "tests/app/form_harness.h"

#include <QLineEdit>
#include <QTest>
#include <QWindow>

#include "app/export_list_model.h"
#include "app/list_filter.h"
#include "app/list_box.h"

void ScriptedDialogs::Confirm(const QString& path, int filterIndex) {
  answers_.push_back({true, path, filterIndex});
}

void ScriptedDialogs::Confirm(const std::string& path, int filterIndex) {
  Confirm(QString::fromStdString(path), filterIndex);
}

void ScriptedDialogs::Cancel() { answers_.push_back({false, {}, 0}); }

bool ScriptedDialogs::Execute(TFileDialog& dialog, QWidget*) {
  shown.push_back(dialog);
  if (answers_.empty()) return false;
  const Answer answer = answers_.front();
  answers_.pop_front();
  if (!answer.confirm) return false;
  dialog.FileName = answer.path;
  dialog.FilterIndex = answer.filterIndex;
  return true;
}

FormTest::FormTest() : form(dialogs) {
  form.show();
  EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
}

FormTest::~FormTest() = default;

void FormTest::Load(const std::vector<TFonctionLib>& entries) {
  SetList(form.FichierLib, entries);
  // A list of no file: saving it asks where.
  form.FileName.clear();
  form.Source = TSourceForm::None;
  form.FillListBox();
}

void FormTest::LoadNumbered(int count) {
  std::vector<TFonctionLib> entries;
  for (int i = 0; i < count; ++i) entries.push_back(Entry("E" + std::to_string(i), 0, true));
  Load(entries);
}

void FormTest::ClickLine(int row, Qt::KeyboardModifiers modifiers) {
  const int line = form.ListBox1->LineOf(row);
  ASSERT_GE(line, 0) << "no line " << row;
  form.ListBox1->scrollTo(form.ListBox1->model()->index(line, 0));
  QTest::mouseClick(form.ListBox1->viewport(), Qt::LeftButton, modifiers,
                    form.ListBox1->EntryRect(row).center());
}

void FormTest::Click(QWidget* widget) {
  QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, widget->rect().center());
}

void FormTest::Type(QWidget* widget, const QString& text) {
  widget->setFocus();
  for (QChar c : text) {
    // The test library maps only ASCII to keys; other characters come as
    // the text of a key without a code, as an input method delivers them.
    if (c.unicode() < 0x80) QTest::keyClick(widget, c.toLatin1());
    else QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
  }
}

void FormTest::Erase(QWidget* edit) {
  edit->setFocus();
  QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(edit, Qt::Key_Backspace);
}

std::vector<QString> FormTest::Lines() const {
  std::vector<QString> lines;
  for (int i = 0; i < form.ListBox1->count(); ++i) lines.push_back(form.ListBox1->LineText(i));
  return lines;
}

std::vector<int> FormTest::SelectedLines() const { return form.ListBox1->SelectedRows(); }

QString FormTest::Caption() const { return form.windowHandle()->title(); }
