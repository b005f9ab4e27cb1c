// A main window for one test: file dialogs answered from a script, message
// boxes recorded, and helpers that click and type like a user.
#pragma once

#include <gtest/gtest.h>

#include <QString>

#include <deque>
#include <vector>

#include "app/dialogs.h"
#include "app/unit1.h"
#include "platform/message_box.h"
#include "tests/support/test_files.h"

class ScriptedDialogs : public TDialogs {
 public:
  // The next Execute confirms path with the filter (from 1).
  void Confirm(const QString& path, int filterIndex);
  void Confirm(const std::string& path, int filterIndex);
  // The next Execute is cancelled (also when nothing is scripted).
  void Cancel();

  bool Execute(TFileDialog& dialog, QWidget* owner) override;

  // The dialogs as they were when shown.
  std::vector<TFileDialog> shown;

 private:
  struct Answer {
    bool confirm;
    QString path;
    int filterIndex;
  };
  std::deque<Answer> answers_;
};

class FormTest : public ::testing::Test {
 protected:
  FormTest();
  ~FormTest() override;

  // Puts entries into the list and its lines into the list box, as Open
  // does, for a list of no file.
  void Load(const std::vector<TFonctionLib>& entries);
  // Entries named E0 .. E(n-1), _pascal, length 0.
  void LoadNumbered(int count);

  // Clicks the line of entry row.
  void ClickLine(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
  void Click(QWidget* widget);
  void Type(QWidget* widget, const QString& text);
  // Selects the whole text of an edit and deletes it with the keyboard.
  void Erase(QWidget* edit);

  // The lines shown, top to bottom.
  std::vector<QString> Lines() const;
  std::vector<int> SelectedLines() const;
  // The caption as the desktop shows it ("*" while unsaved).
  QString Caption() const;
  std::vector<TFonctionLib> List() { return ListOf(form.FichierLib); }

  ScriptedDialogs dialogs;
  MessageBoxRecorder boxes;
  TForm1 form;
};
