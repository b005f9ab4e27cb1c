// The main window: the export list, the editing panel below it, the menus
// "Fichiers" and "Aide", and the file dialogs. It owns the program's one
// library object and the current path.
//
// Handlers carry the names of their control and event. Their bodies live
// by concern: unit1.cpp (layout, New, Quit, Help, About, unsaved edits,
// dropped files),
// editing_panel.cpp (the panel), file_commands.cpp (Open, Save as).
#pragma once

#include <QMainWindow>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

#include "app/dialogs.h"
#include "model/fichier_lib.h"

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPushButton;
class QRadioButton;
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

  // The path of the last Open or Save as that succeeded; it only builds the
  // caption.
  QString FileName;
  // The library object, with the export list inside.
  TFichierLib FichierLib;
  // True while the window itself writes into the editing panel, so that
  // the panel's change handlers leave those writes alone.
  bool Filling = false;
  // The list was changed since it was last opened, saved or made new.
  bool Modified = false;

  TTableau<TFonctionLib>& Fonctions() { return FichierLib.Fonctions; }

  // Menu commands.
  void Nouveau1Click();
  void Ouvrir1Click();
  void EnregistrerSous1Click();
  // app/check_dialog.cpp
  void VerifierAvecDll1Click();
  void Quitter1Click();
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
  void RefreshLabels();
  // Shows whether the entry of a line has a guessed convention.
  void MarkLine(int row);
  // Refills the list box from the list: line i shows entry i's name.
  void FillListBox();

  // The window as the owner of message boxes.
  void* Handle() { return static_cast<QWidget*>(this); }

  // Sets the window caption, shown exactly as given.
  void SetCaption(const QString& caption);

 protected:
  void showEvent(QShowEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void CreateMenus();
  void CreateControls();
  void SetTabOrder();
  void ConnectHandlers();
  void CreateShortcuts();
  void FitOuterSize();
  void PlaceOnScreen();
  // Grows the list box with the window; the controls below it move down.
  void LayOut();
  void SayUnsure();

  // The entry of a line, or null when the line has none.
  TFonctionLib* EntryAt(int row);
  // The entry of the current line, or null when there is no current line.
  TFonctionLib* CurrentEntry();
  // Checks the radio button of a convention; the other goes unchecked.
  void ShowConvention(bool isPascal);
  void UncheckConventions();
  void SetConventionOfSelection(bool isPascal);

  TDialogs& dialogs_;
  bool outerSizeFitted_ = false;
  // Each control's designed place, and the room they all take.
  std::vector<std::pair<QWidget*, QRect>> designed_;
  QSize designedContent_;
};

// Texts between the list (Windows-1252 bytes) and the toolkit.
QString AnsiToQString(const AnsiString& text);
AnsiString QStringToAnsi(const QString& text);
