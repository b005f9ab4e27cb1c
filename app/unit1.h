// The main window: the list of functions, the editing panel below it, the
// menus and the file dialogs. It owns the program's one library object, the
// current path and the undo stack; the list model (app/export_list_model.h)
// owns every change of the list, the editing panel (app/editing_panel.h)
// what the user does to the selected functions.
//
// Handlers carry the names of their control and event and forward to the
// part that does the work. Their bodies live by concern: unit1.cpp
// (layout, menus, keys, New, Quit, Help, About, unsaved edits, dropped
// files, recent files), file_commands.cpp (Open, Save, Save as),
// machine_choice.cpp (the "Machine" menu), check_panel.cpp (the check
// against a DLL).
#pragma once

#include <QMainWindow>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <utility>
#include <vector>

#include "app/dialogs.h"
#include "app/editing_panel.h"
#include "app/export_list_model.h"
#include "files/fichier_lib.h"

class QAction;
class QDockWidget;
class QTreeWidget;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPushButton;
class QRadioButton;
class QStatusBar;
class QUndoStack;
class TListBox;
class TListFilter;
class TUpDown;

// The designed outer size and place of the window, in screen pixels. The
// window stands there when it fits on the screen there.
inline constexpr int kFormLeft = 252;
inline constexpr int kFormTop = 174;
inline constexpr int kFormWidth = 518;
inline constexpr int kFormHeight = 557;

inline constexpr char kFormCaption[] = "Conversion de fichiers lib";
inline constexpr char kNewFileCaption[] = "Nouveau fichier";

// The choices of the Open dialog's filter list, numbered from 1.
enum TOpenFilter { kOpenLibrary = 1, kOpenDefinition = 2, kOpenAnything = 3, kOpenDll = 4 };

// The form of the file a list came from, which "Enregistrer" writes back.
enum class TSourceForm { None, Coff, Omf, Def, Dll };

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
  // The list and its caption.
  TListBox* ListBox1;
  QLabel* Label1;
  // The editing panel and, by the design's names, its controls.
  TEditingPanel* Panel;
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
  // Added beside the design: plain save, recent files, the "Édition"
  // menu, the find field, the guess display and the status line.
  QAction* Enregistrer1;
  QMenu* Recents1;
  QMenu* Edition1;
  QAction* Annuler1;
  QAction* Retablir1;
  QAction* Copier1;
  QAction* ToutSelectionner1;
  QAction* Rechercher1;
  QAction* DevineeSuivante1;
  QAction* ConfirmerConvention1;
  QLineEdit* Edit3;
  QLabel* Label9;
  QPushButton* Button3;
  QStatusBar* StatusBar1;
  QLabel* StatusLabel;
  TExportListModel* ListModel;
  TListFilter* ListFilter;
  QUndoStack* UndoStack;
  // The "Machine" menu (app/machine_choice.cpp): the processor the list is
  // for, and the line the panel shows when decorations do not apply.
  QMenu* Machine1;
  QAction* MachineX86;
  QAction* MachineX64;
  QAction* MachineArm64;
  QAction* MachineArm64ec;
  QLabel* Label10;
  // The check against a DLL, in a panel beside the list (check_panel.cpp).
  TFileDialog CheckDialog1;
  QDockWidget* CheckDock;
  QTreeWidget* CheckFindings;

  // The path of the last Open or Save that succeeded: the caption, the
  // folder and name the save dialog proposes, and where "Enregistrer"
  // writes back in the form the list came from.
  QString FileName;
  TSourceForm Source = TSourceForm::None;
  // The library object, with the export list inside.
  TFichierLib FichierLib;
  // The machine the list's file gave it; 0 for a list no file gave one (a
  // new list, a .def file). It decides which machines the list may take.
  Machine ReadMachine = Machine::Unknown;
  // The file read was a GNU import library (one object per import), which
  // a save writes in Microsoft's form.
  bool ReadGnu = false;

  TTableau<TFonctionLib>& Fonctions() { return FichierLib.Fonctions; }
  // Unsaved changes: the undo stack is away from where the list was last
  // opened, saved or made new.
  bool Modified() const;

  // Menu commands.
  void Nouveau1Click();
  void Ouvrir1Click();
  void EnregistrerSous1Click();
  void Enregistrer1Click();
  void VerifierAvecDll1Click();
  void Quitter1Click();
  void Annuler1Click();
  void Retablir1Click();
  void Copier1Click();
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

  // The editing panel, by the design's names.
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
  // cannot take changes nothing and says why.
  void ChooseMachine(Machine machine);
  // The menu's checked and offered machines, and the panel's controls that
  // only decorations use.
  void ShowMachine();
  // The list was replaced whole (read, or made new): the view shows it,
  // the undo history goes with the old list.
  void FillListBox();
  // The status line: how many functions, shown, selected, guessed.
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
  // checks, the question about what the form loses or adds, the message
  // when it fails, and the list then shown as the file holds it. True when
  // written.
  bool SaveAs(QString fileName, int filter);

 protected:
  void showEvent(QShowEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  // Ctrl+Z and Ctrl+Y in the panel's edits undo the list's edits, not the
  // field's own typing, so that there is one history; the find field keeps
  // its own while it has some.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateMenus();
  void CreateMachineMenu();
  void CreateControls();
  void CreateCheckPanel();
  void SetTabOrder();
  void ConnectHandlers();
  void CreateShortcuts();
  void FitOuterSize();
  void PlaceOnScreen();
  // Grows the list with the window; the panel below it moves down.
  void LayOut();
  void SayUnsure();
  void UpdateCaption();
  // Fills the save dialog with the current list's folder and name, and
  // its form, or the save filter choice given.
  void ProposeSaveName(int filter = 0);
  // Save as, proposing a library for a list that cannot be saved as .def.
  bool SaveInAnotherForm();
  // An edit reached the list: what shows it follows.
  void ShowEdit(TEditKind kind, const std::vector<std::uint32_t>& at);
  // The file's path first in "Fichiers récents", kept between sessions.
  void RememberFile(const QString& path);
  void FillRecentMenu();
  // The list becomes what the saved file holds, read back, where the two
  // differ (what the form could not hold, guesses it states as facts), as
  // one undo step.
  void TakeWhatWasSaved(const QString& fileName);

  TDialogs& dialogs_;
  QString caption_;
  QString listCaption_;
  bool outerSizeFitted_ = false;
  // The list and the panel's designed places, and the room they all take.
  QRect listDesigned_;
  QRect findDesigned_;
  QRect panelDesigned_;
  QSize designedContent_;
};
