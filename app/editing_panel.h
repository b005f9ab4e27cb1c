// The editing panel under the list: the name, the calling convention, the
// argument length, the symbols each toolchain links against, and the
// buttons "Ajouter" and "Supprimer". It shows what the selected functions
// share and turns what the user does in it into steps of the undo stack,
// carried out by the list model; it never changes the list by itself.
//
// Its controls keep the design's names; the window reaches them by these
// names too.
#pragma once

#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "model/fonction_lib.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QUndoStack;
class TExportListModel;
class TListBox;
class TUpDown;

// Range of the argument length spinner.
inline constexpr int kArgLengthMin = 0;
inline constexpr int kArgLengthMax = 1000;
// A length past this is surely a slip of the keys: no function of a
// 32-bit DLL takes that much on the stack.
inline constexpr int kArgLengthLikely = 1024;

class TEditingPanel : public QWidget {
 public:
  TEditingPanel(TExportListModel& model, TListBox& list, QUndoStack& stack, QWidget* parent);

  QLabel* Label2;
  QLineEdit* Edit1;
  QGroupBox* GroupBox1;
  QRadioButton* RadioButton1;
  QRadioButton* RadioButton2;
  QLabel* Label9;
  QPushButton* Button3;
  QLabel* Label10;
  QGroupBox* GroupBox2;
  QLineEdit* Edit2;
  TUpDown* UpDown1;
  // What is odd about the typed length, beside it.
  QLabel* LengthNote;
  QGroupBox* GroupBox3;
  QLabel* Label3;
  QLabel* Label4;
  QLabel* Label5;
  QLabel* Label6;
  QLabel* Label7;
  QLabel* Label8;
  QPushButton* Button1;
  QPushButton* Button2;
  // How the selected functions are imported: from which DLL, by which
  // export name or ordinal, code or data.
  QGroupBox* GroupBox4;
  QLineEdit* DllEdit;
  QComboBox* KindBox;
  QLineEdit* ExportEdit;
  QCheckBox* OrdinalCheck;
  QSpinBox* OrdinalSpin;
  QCheckBox* NoNameCheck;

  // The selection display: what the selected functions share.
  void ShowSelection();
  // After an edit the panel made: the fields show it already; only what
  // follows from it changes.
  void ShowEdited();
  // Empties every field, as New leaves it.
  void Clear();
  // The symbols and the import of the current function.
  void RefreshLabels();
  // Greys what does not change the symbol on the list's machine.
  void ShowMachine();

  // The edits.
  void Add();
  void Remove();
  void NameChanged();
  void LengthChanged();
  void ConventionChosen(bool isPascal);
  void ConfirmGuess();
  void DllChanged();
  void KindChosen(int kind);
  void ExportNameChanged();
  void OrdinalChanged();
  // A DLL typed for some functions of a list saved as .def, beside the
  // other functions' DLL, is held until the user is done with the box
  // (Enter, leaving it, saving): then the panel asks whether all the
  // functions take it, and changes all of them or none.
  void SettleDll();

  // Set by the window: when the list is saved as a .def file, which names
  // one DLL, the DLL that file names for the functions that name none;
  // nothing when the list's file may name several.
  std::function<std::optional<AnsiString>()> SingleDll;

  // True while the panel itself pushes an edit.
  bool Editing() const { return editing_; }
  // A guessed convention among the selected functions.
  bool GuessSelected() const { return guessSelected_; }
  // The user points at other functions: the next keys typed start a new
  // undo step.
  void NewEditSession() { ++session_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Records an edit of the entries at `at` made by change (one of the
  // shared editing rules) as one undo step, when it changed anything.
  template <typename Edit>
  void EditEntries(const std::vector<int>& at, const QString& text, int mergeKey, Edit change);
  const TFonctionLib* EntryAt(int entry) const;
  const TFonctionLib* Current() const;
  void ShowConvention(bool isPascal);
  void UncheckConventions();
  void ShowGuess();
  // The Import group for the selection, and what the conventions and the
  // length can change for it.
  void ShowImport();
  void ShowWhatApplies();
  // Marks the length field: "" for a sound value, else why not.
  void MarkLength(const QString& why, bool refused);
  // Marks a name box that holds a control character, and answers whether
  // it does: no entry takes such a name.
  bool RefuseName(QLineEdit* box, const QString& name);
  // The DLL box shows the selected functions' DLL.
  void ShowDll();
  // Giving the entries at rows the DLL would make a list saved as .def
  // import from more than one.
  bool SplitsDll(const std::vector<int>& rows, const AnsiString& dll) const;

  TExportListModel& model_;
  TListBox& list_;
  QUndoStack& stack_;
  bool editing_ = false;
  // True while the panel writes the Import group itself.
  bool filling_ = false;
  bool guessSelected_ = false;
  std::optional<AnsiString> heldDll_;
  std::uint64_t session_ = 0;
  // Each child's designed place; the width they were designed for.
  std::vector<std::pair<QWidget*, QRect>> designed_;
  int designedWidth_ = 0;
};
