// The main window: the export list, the editing panel below it, the menus
// "Fichiers" and "Aide", and the file dialogs. It owns the program's one
// library object and the current path.
//
// Handlers carry the names of their control and event. Their bodies live
// by concern: unit1.cpp (layout, New, Quit, Help, About, unsaved edits,
// dropped files),
// editing_panel.cpp (the panel, undo, find, guesses), file_commands.cpp
// (Open, Save, Save as), machine_choice.cpp (the "Machine" menu).
#pragma once

#include <QMainWindow>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

#include "app/dialogs.h"
#include "app/list_undo.h"
#include "files/fichier_lib.h"

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPushButton;
class QRadioButton;
class QStatusBar;
class QUndoStack;
class TExportListModel;
class TListBox;
class TUpDown;

// The designed outer size and place of the window, in screen pixels. The
// window stands there when it fits on the screen there.
inline constexpr int kFormLeft = 252;
inline constexpr int kFormTop = 174;
inline constexpr int kFormWidth = 518;
inline constexpr int kFormHeight = 481;

inline constexpr char kFormCaption[] = "Conversion de fichiers lib";
inline constexpr char kNewFileCaption[] = "Nouveau fichier";

// The choices of the Open dialog's filter list, numbered from 1.
enum TOpenFilter { kOpenLibrary = 1, kOpenDefinition = 2, kOpenAnything = 3, kOpenDll = 4 };

// The form of the file a list came from, which "Enregistrer" writes back.
enum class TSourceForm { None, Coff, Omf, Def, Dll };

// Range of the argument length spinner.
inline constexpr int kArgLengthMin = 0;
inline constexpr int kArgLengthMax = 1000;

class TForm1 : public QMainWindow {
 public:
  explicit TForm1(TDialogs& dialogs, QWidget* parent = nullptr);
  ~TForm1() override;

  // Menus.
  QMenuBar* MainMenu1;
  QMenu* Fichiers1;
  QAction* Ouvrir1;
  QAction* EnregistrerSous1;
  QAction* VerifierAvecDll1;
  QAction* N1;
  QAction* Quitter1;
  TFileDialog OpenDialog1;
  TFileDialog SaveDialog1;
  // Controls, in the design's order.
  TListBox* ListBox1;
  QLabel* Label1;
  QLineEdit* Edit1;
  QLabel* Label2;
  QGroupBox* GroupBox1;
  QRadioButton* RadioButton1;
  QRadioButton* RadioButton2;
  QGroupBox* GroupBox2;
  QLineEdit* Edit2;
  TUpDown* UpDown1;
  QGroupBox* GroupBox3;
  QLabel* Label3;
  QLabel* Label4;
  QLabel* Label5;
  QLabel* Label6;
  QLabel* Label7;
  QLabel* Label8;
  QPushButton* Button1;
  QPushButton* Button2;
  QAction* Nouveau1;
  QMenu* Aide;
  QAction* Aideenligne;
  QAction* Aproposde;
  // Added beside the design: plain save, the "Édition" menu, the filter
  // field, the guess display and the status line.
  QAction* Enregistrer1;
  QMenu* Edition1;
  QAction* Annuler1;
  QAction* Retablir1;
  QAction* Rechercher1;
  QAction* DevineeSuivante1;
  QAction* ConfirmerConvention1;
  QLineEdit* Edit3;
  QLabel* Label9;
  QPushButton* Button3;
  QStatusBar* StatusBar1;
  QLabel* StatusLabel;
  TExportListModel* ListModel;
  QUndoStack* UndoStack;
  // The "Machine" menu (app/machine_choice.cpp): the processor the list is
  // for, and the line the panel shows when decorations do not apply.
  QMenu* Machine1;
  QAction* MachineX86;
  QAction* MachineX64;
  QAction* MachineArm64;
  QAction* MachineArm64ec;
  QLabel* Label10;

  // The path of the last Open or Save that succeeded: the caption, the
  // folder and name the save dialog proposes, and where "Enregistrer"
  // writes back in the form the list came from.
  QString FileName;
  TSourceForm Source = TSourceForm::None;
  // The library object, with the export list inside.
  TFichierLib FichierLib;
  // True while the window itself writes into the editing panel, so that
  // the panel's change handlers leave those writes alone.
  bool Filling = false;
  // The list was changed since it was last opened, saved or made new.
  bool Modified = false;
  // The machine the list's file gave it; 0 for a list no file gave one (a
  // new list, a .def file). It decides which machines the list may take.
  std::uint16_t ReadMachine = 0;

  TTableau<TFonctionLib>& Fonctions() { return FichierLib.Fonctions; }

  // Menu commands.
  void Nouveau1Click();
  void Ouvrir1Click();
  void EnregistrerSous1Click();
  void Enregistrer1Click();
  // app/check_dialog.cpp
  void VerifierAvecDll1Click();
  void Quitter1Click();
  void Annuler1Click();
  void Retablir1Click();
  void Rechercher1Click();
  void DevineeSuivante1Click();
  void ConfirmerConvention1Click();
  void Edit3Change();
  void AideenligneClick();
  void AproposdeClick();

  // Opens a file by its content (COFF archive, OMF library, definition
  // text, DLL); the filter only decides what else it may be taken for.
  // The window changes only when the file was read whole and holds
  // functions; otherwise it says why and answers false.
  bool OpenFile(const QString& fileName, int filter);
  // Opens the first of the program's arguments, when there is one.
  void OpenArguments(const QStringList& arguments);
  // Asks whether to save unsaved edits. True when they may be thrown away
  // (saved, or the user said not to save); false when the user cancelled.
  bool ConfirmDiscard();

  // The editing panel.
  void ListBox1Click();
  void Button1Click();
  void Button2Click();
  void Edit1Change();
  void Edit2Change();
  void RadioButton1Click();
  void RadioButton2Click();
  void Button3Click();
  void RefreshLabels();
  // Gives the list another machine, as one undo step; a choice the list
  // cannot take changes nothing.
  void ChooseMachine(std::uint16_t machine);
  // Carries out a change of machine (from the undo stack): the machine,
  // the entries it rewrote, and all that shows them.
  void ApplyMachine(std::uint16_t machine, const std::vector<std::uint32_t>& at,
                    const std::vector<TFonctionLib>& entries);
  // The menu's checked and offered machines, and the panel's controls that
  // only decorations use.
  void ShowMachine();
  // Refills the list box from the list, after the list was replaced; the
  // undo history goes with the old list.
  void FillListBox();
  // Carries out one edit of the list (from the undo stack): the list and
  // its lines change together, then the selection follows the edit unless
  // the panel is the one editing.
  void ApplyListEdit(TEditKind kind, const std::vector<std::uint32_t>& at,
                     const std::vector<TFonctionLib>& entries);
  // Marks the list as changed or not, in the caption too.
  void SetModified(bool modified);
  // The status line: how many functions, selected, guessed, shown.
  void UpdateStatus();

  // The window as the owner of message boxes.
  void* Handle() { return static_cast<QWidget*>(this); }

  // Sets the window caption, shown exactly as given, after a "*" while
  // the list has unsaved changes.
  void SetCaption(const QString& caption);
  // Sets the caption of the list's file (or of a list of none), with its
  // machine when it is not 32-bit Intel.
  void SetListCaption(const QString& caption);
  // Writes the list to fileName in the form of a save filter choice: the
  // checks, the question about what the form loses, the message when it
  // fails. True when written.
  bool SaveAs(QString fileName, int filter);

 protected:
  void showEvent(QShowEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  // Ctrl+Z and Ctrl+Y in the panel's edits undo the list's edits, not the
  // field's own typing, so that there is one history.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateMenus();
  void CreateMachineMenu();
  void CreateControls();
  void SetTabOrder();
  void ConnectHandlers();
  void CreateShortcuts();
  void FitOuterSize();
  void PlaceOnScreen();
  // Grows the list box with the window; the controls below it move down.
  void LayOut();
  void SayUnsure();
  void UpdateCaption();
  // Fills the save dialog with the current list's folder, name and form.
  void ProposeSaveName();
  // Records an edit of the entries at `at` made by change (one of the
  // shared editing rules), as one undo step, when it changed anything.
  template <typename Edit>
  void EditEntries(const std::vector<int>& at, const QString& text, int mergeKey, Edit change);
  void ShowGuess();
  // The entry of a line, or null when the line has none.
  TFonctionLib* EntryAt(int row);
  // The entry of the current line, or null when there is no current line.
  TFonctionLib* CurrentEntry();
  // Checks the radio button of a convention; the other goes unchecked.
  void ShowConvention(bool isPascal);
  void UncheckConventions();
  void SetConventionOfSelection(bool isPascal);
  // The entries of the lines the user points at change the panel: the
  // next typed keys start a new undo step.
  void NewEditSession() { ++editSession_; }

  TDialogs& dialogs_;
  QString caption_;
  QString listCaption_;
  // Set while a panel handler pushes its edit: the panel already shows it.
  bool panelEdit_ = false;
  std::uint64_t editSession_ = 0;
  bool outerSizeFitted_ = false;
  // Each control's designed place, and the room they all take.
  std::vector<std::pair<QWidget*, QRect>> designed_;
  QSize designedContent_;
};

// Texts between the list (Windows-1252 bytes) and the toolkit.
QString AnsiToQString(const AnsiString& text);
AnsiString QStringToAnsi(const QString& text);
