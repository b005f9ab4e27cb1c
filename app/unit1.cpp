#include "app/unit1.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QStatusBar>
#include <QTextBrowser>
#include <QTimer>
#include <QUndoStack>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

#include "app/application.h"
#include "app/fonts.h"
#include "app/list_box.h"
#include "app/list_filter.h"
#include "app/qt_message_box.h"
#include "app/system_path.h"
#include "model/dll_names.h"
#include "platform/message_box.h"

namespace {

constexpr int kListLineHeight = 14;
// The list may shrink to this height when the screen is too small for the
// designed window.
constexpr int kListMinHeight = 56;
constexpr int kListDesignedHeight = 178;
// The editing panel's top in the design, right under the list.
constexpr int kPanelTop = 200;
// Room kept right of and below the lowest controls when the window has to
// grow to hold them.
constexpr int kContentMargin = 6;
// How many files "Fichiers récents" remembers.
constexpr int kRecentFiles = 8;
const QString kRecentKey = QStringLiteral("fichiersRecents");

constexpr char kOpenFilter[] =
    "Librairies (*.lib)|*.lib|Fichiers de definition (*.def)|*.def|Tous (*.*)|*.*|"
    "Bibliothèques dynamiques (*.dll)|*.dll";
constexpr char kSaveFilter[] =
    "Librairie OMF (Microsoft) (*.lib)|*.lib|Librairie COFF (Borland) (*.lib)|*.lib|"
    "Fichier de définitions (*.def)|*.def|Librairie GNU (*.a)|*.a";

constexpr char kAboutText[] =
    "Libmorph 1.0 : conversion de librairies d'importation\n\n"
    "Si ça marche pas, démerdez-vous !";

// What each part of the window does, for F1.
constexpr char kHelpHtml[] = R"(<h3>Libmorph : la bibliothèque d'importation d'une DLL pour votre outil</h3>
<p><b>Fichiers › Ouvrir</b> (Ctrl+O) lit une librairie Microsoft (COFF) ou Borland (OMF), un fichier
<tt>.def</tt> ou une DLL, d'après son contenu. <b>Enregistrer sous</b> (Ctrl+Maj+S) l'écrit
sous la forme choisie ; <b>Enregistrer</b> (Ctrl+S) réécrit le fichier lu. Avant d'écrire, la
fenêtre dit ce que la forme choisie ne peut pas garder, et la liste montre ensuite ce que le
fichier contient.</p>
<p><b>La liste</b> montre une fonction par ligne : son nom, puis, quand la fenêtre est assez
large (ou par le menu de l'en-tête, clic droit), sa convention, la longueur de ses arguments,
les symboles Microsoft et Borland, ce que le chargeur demande à la DLL, le type d'import, la
DLL et la déclaration C++ lisible. Un clic sur un en-tête trie ; Ctrl+C copie les lignes
choisies en texte (tabulations). Le champ <b>Rechercher</b> (Ctrl+F) ne montre que les lignes
dont une colonne contient son texte. Marques : <i>? devinée</i> (convention devinée, F3 pour
la suivante, Ctrl+K pour la confirmer), <i>! longueur</i> (longueur contraire au nom exporté),
<i>✗ vérif.</i> (problème trouvé par la vérification).</p>
<p><b>Le panneau</b> change les fonctions choisies : le nom (de la seule fonction courante), la
convention <tt>_pascal</tt> ou <tt>_stdcall</tt>, la longueur des arguments (marquée si elle
n'est pas un multiple de 4 ou dépasse 1 024), et, dans <b>Import</b>, la DLL, le nom exporté ou
l'ordinal et le type (code, données, constante). <b>Nom exporté</b> montre les symboles que
lient les outils Microsoft et Borland. Un renommage garde la DLL et le type ; revenir au nom lu
rend l'import lu.</p>
<p><b>Édition › Annuler</b> (Ctrl+Z) et <b>Rétablir</b> (Ctrl+Y) parcourent toutes les
modifications ; le « * » du titre dit qu'il en reste à enregistrer. <b>Machine</b> choisit le
processeur de la liste ; hors Intel 32 bits il n'y a pas de décoration.</p>
<p><b>Fichiers › Vérifier avec une DLL</b> compare la liste à la DLL : chaque import qui ne se
lie pas, qui se lie à une autre fonction ou dont la pile ne correspond pas. Un double-clic sur
une ligne du panneau de vérification montre la fonction.</p>)";

template <typename Widget>
Widget* Place(Widget* widget, int left, int top, int width, int height) {
  widget->setGeometry(left, top, width, height);
  return widget;
}


}  // namespace

TForm1::TForm1(TDialogs& dialogs, QWidget* parent) : QMainWindow(parent), dialogs_(dialogs) {
  setFont(WindowFont());
  UndoStack = new QUndoStack(this);
  ListModel = new TExportListModel(FichierLib, this);
  ListFilter = new TListFilter(ListModel, this);
  SetListCaption(QString::fromUtf8(kFormCaption));
  CreateMenus();
  CreateControls();
  CreateCheckPanel();
  SetTabOrder();
  ConnectHandlers();
  CreateShortcuts();
  Edit1->installEventFilter(this);
  Edit2->installEventFilter(this);
  Edit3->installEventFilter(this);
  UpdateStatus();
  setAcceptDrops(true);
  resize(kFormWidth, kFormHeight);
  PlaceOnScreen();
  // The list is where the work starts.
  ListBox1->setFocus();
}

TForm1::~TForm1() {
  // The stack's commands and the view look at the model, which goes
  // before the toolkit deletes the children.
  UndoStack->disconnect(this);
  ListModel->OnEdited = nullptr;
  delete UndoStack;
  ListBox1->setModel(nullptr);
  delete ListFilter;
  delete ListModel;
}

bool TForm1::Modified() const { return !UndoStack->isClean(); }

void TForm1::CreateMenus() {
  MainMenu1 = menuBar();
  Fichiers1 = MainMenu1->addMenu(QStringLiteral("&Fichiers"));
  Nouveau1 = Fichiers1->addAction(QStringLiteral("&Nouveau"));
  Ouvrir1 = Fichiers1->addAction(QStringLiteral("&Ouvrir"));
  Recents1 = Fichiers1->addMenu(QStringLiteral("Fichiers récen&ts"));
  Enregistrer1 = Fichiers1->addAction(QStringLiteral("En&registrer"));
  EnregistrerSous1 = Fichiers1->addAction(QStringLiteral("&Enregistrer sous ..."));
  VerifierAvecDll1 = Fichiers1->addAction(QStringLiteral("&Vérifier avec une DLL ..."));
  N1 = Fichiers1->addSeparator();
  Quitter1 = Fichiers1->addAction(QStringLiteral("&Quitter"));
  // Alt+E reaches it too (CreateShortcuts): no key types "É".
  Edition1 = MainMenu1->addMenu(QStringLiteral("É&dition"));
  // The stack's own actions: enabled when there is a step, and named after
  // it ("Annuler Renommer").
  Annuler1 = UndoStack->createUndoAction(this, QStringLiteral("Annuler"));
  Retablir1 = UndoStack->createRedoAction(this, QStringLiteral("Rétablir"));
  Edition1->addAction(Annuler1);
  Edition1->addAction(Retablir1);
  Edition1->addSeparator();
  Copier1 = Edition1->addAction(QStringLiteral("&Copier les lignes"));
  ToutSelectionner1 = Edition1->addAction(QStringLiteral("&Tout sélectionner"));
  Rechercher1 = Edition1->addAction(QStringLiteral("Re&chercher"));
  DevineeSuivante1 = Edition1->addAction(QStringLiteral("Convention devinée &suivante"));
  ConfirmerConvention1 = Edition1->addAction(QStringLiteral("C&onfirmer la convention"));
  Annuler1->setShortcut(QKeySequence::Undo);
  Retablir1->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Y),
                           QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
  Copier1->setShortcut(QKeySequence::Copy);
  ToutSelectionner1->setShortcut(QKeySequence::SelectAll);
  Rechercher1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
  DevineeSuivante1->setShortcut(QKeySequence(Qt::Key_F3));
  ConfirmerConvention1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
  ConfirmerConvention1->setEnabled(false);
  Edition1->setFont(WindowFont());
  CreateMachineMenu();
  Aide = MainMenu1->addMenu(QStringLiteral("&Aide"));
  Aideenligne = Aide->addAction(QStringLiteral("Aide en &ligne"));
  Aproposde = Aide->addAction(QStringLiteral("À &propos de"));
  Nouveau1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
  Ouvrir1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  Enregistrer1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  EnregistrerSous1->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
  Quitter1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  Aideenligne->setShortcut(QKeySequence(Qt::Key_F1));
  // Menus are windows of their own and do not inherit the window's font.
  for (QMenu* menu : {Fichiers1, Recents1, Aide}) menu->setFont(WindowFont());
  FillRecentMenu();

  OpenDialog1.Kind = TDialogKind::Open;
  OpenDialog1.Filter = QString::fromUtf8(kOpenFilter);
  SaveDialog1.Kind = TDialogKind::Save;
  SaveDialog1.Filter = QString::fromUtf8(kSaveFilter);
  CheckDialog1.Kind = TDialogKind::Open;
  CheckDialog1.Filter = QStringLiteral("DLL (*.dll)|*.dll|Tous (*.*)|*.*");
}

void TForm1::CreateControls() {
  auto* client = new QWidget(this);
  setCentralWidget(client);

  ListBox1 = Place(new TListBox(client), 6, 21, 499, kListDesignedHeight);
  ListBox1->SetListModel(ListModel, ListFilter);
  ListBox1->setFont(SymbolFont());
  ListBox1->header()->setFont(WindowFont());
  ListBox1->SetLineHeight(kListLineHeight);
  Label1 = CaptionLabel(client, "Liste des fonctions :", 6, 3, 94, 13);
  // The find field stands on the caption's line, right of it.
  Edit3 = Place(new QLineEdit(client), 285, 0, 220, 20);
  Edit3->setPlaceholderText(QStringLiteral("Rechercher (Ctrl+F)"));
  Edit3->setClearButtonEnabled(true);
  Edit3->setToolTip(
      QStringLiteral("N'affiche que les fonctions dont une colonne contient ce texte"));

  Panel = new TEditingPanel(*ListModel, *ListBox1, *UndoStack, client);
  Panel->move(0, kPanelTop);
  Panel->resize(Panel->minimumSize());
  Edit1 = Panel->Edit1;
  Label2 = Panel->Label2;
  GroupBox1 = Panel->GroupBox1;
  RadioButton1 = Panel->RadioButton1;
  RadioButton2 = Panel->RadioButton2;
  Label9 = Panel->Label9;
  Button3 = Panel->Button3;
  Label10 = Panel->Label10;
  GroupBox2 = Panel->GroupBox2;
  Edit2 = Panel->Edit2;
  UpDown1 = Panel->UpDown1;
  GroupBox3 = Panel->GroupBox3;
  Label3 = Panel->Label3;
  Label4 = Panel->Label4;
  Label5 = Panel->Label5;
  Label6 = Panel->Label6;
  Label7 = Panel->Label7;
  Label8 = Panel->Label8;
  Button1 = Panel->Button1;
  Button2 = Panel->Button2;

  listDesigned_ = ListBox1->geometry();
  findDesigned_ = Edit3->geometry();
  panelDesigned_ = Panel->geometry();
  designedContent_ = QSize(panelDesigned_.right() + 1, panelDesigned_.bottom() + 1);
  // Smaller, the panel would be cut off; only the list gives up height,
  // for a screen too small for the design.
  client->setMinimumSize(designedContent_ -
                         QSize(0, kListDesignedHeight - kListMinHeight));

  StatusBar1 = statusBar();
  StatusBar1->setSizeGripEnabled(true);
  StatusLabel = new QLabel(StatusBar1);
  StatusBar1->addWidget(StatusLabel, 1);
}

void TForm1::CreateShortcuts() {
  // Insert and Delete act on the list's lines while the list has the focus.
  auto* insert = new QShortcut(QKeySequence(Qt::Key_Insert), ListBox1);
  insert->setContext(Qt::WidgetShortcut);
  connect(insert, &QShortcut::activated, this, [this] { RunHandler([this] { Button1Click(); }); });
  auto* remove = new QShortcut(QKeySequence(QKeySequence::Delete), ListBox1);
  remove->setContext(Qt::WidgetShortcut);
  connect(remove, &QShortcut::activated, this, [this] { RunHandler([this] { Button2Click(); }); });
  // "Édition" by the key a French user looks for.
  auto* edition = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_E), this);
  connect(edition, &QShortcut::activated, this, [this] {
    MainMenu1->setActiveAction(Edition1->menuAction());
  });
}

void TForm1::PlaceOnScreen() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  const QRect designed(kFormLeft, kFormTop, kFormWidth, kFormHeight);
  if (!screen || screen->availableGeometry().contains(designed)) {
    move(designed.topLeft());
    return;
  }
  QRect centred = designed;
  centred.moveCenter(screen->availableGeometry().center());
  // A screen smaller than the window shows at least its top left corner.
  move(std::max(centred.left(), screen->availableGeometry().left()),
       std::max(centred.top(), screen->availableGeometry().top()));
}

void TForm1::LayOut() {
  const QSize room = centralWidget()->size();
  const int dw = std::max(0, room.width() - designedContent_.width());
  const int dh = std::max(kListMinHeight - kListDesignedHeight,
                          room.height() - designedContent_.height());
  ListBox1->setGeometry(listDesigned_.adjusted(0, 0, dw, dh));
  Edit3->setGeometry(findDesigned_.translated(dw, 0));
  Panel->setGeometry(panelDesigned_.translated(0, dh).adjusted(0, 0, dw, 0));
}

void TForm1::SetTabOrder() {
  QWidget::setTabOrder(Edit3, ListBox1);
  QWidget::setTabOrder(ListBox1, Edit1);
  QWidget::setTabOrder(Edit1, RadioButton1);
  QWidget::setTabOrder(RadioButton1, RadioButton2);
  QWidget::setTabOrder(RadioButton2, Edit2);
  QWidget::setTabOrder(Edit2, Button1);
  QWidget::setTabOrder(Button1, Button2);
  QWidget::setTabOrder(RadioButton2, Button3);
}

void TForm1::ConnectHandlers() {
  auto handler = [this](void (TForm1::*method)()) {
    return [this, method] { RunHandler([this, method] { (this->*method)(); }); };
  };
  connect(Nouveau1, &QAction::triggered, this, handler(&TForm1::Nouveau1Click));
  connect(Ouvrir1, &QAction::triggered, this, handler(&TForm1::Ouvrir1Click));
  connect(VerifierAvecDll1, &QAction::triggered, this, handler(&TForm1::VerifierAvecDll1Click));
  connect(EnregistrerSous1, &QAction::triggered, this, handler(&TForm1::EnregistrerSous1Click));
  connect(Enregistrer1, &QAction::triggered, this, handler(&TForm1::Enregistrer1Click));
  connect(Copier1, &QAction::triggered, this, handler(&TForm1::Copier1Click));
  connect(ToutSelectionner1, &QAction::triggered, this, [this] {
    ListBox1->selectAll();
    ListBox1Click();
  });
  connect(Rechercher1, &QAction::triggered, this, handler(&TForm1::Rechercher1Click));
  connect(DevineeSuivante1, &QAction::triggered, this, handler(&TForm1::DevineeSuivante1Click));
  connect(ConfirmerConvention1, &QAction::triggered, this,
          handler(&TForm1::ConfirmerConvention1Click));
  connect(Edit3, &QLineEdit::textChanged, this, handler(&TForm1::Edit3Change));
  // The "*" of the caption is the stack's clean state.
  connect(UndoStack, &QUndoStack::cleanChanged, this, [this](bool clean) {
    setWindowModified(!clean);
    UpdateCaption();
  });
  connect(Quitter1, &QAction::triggered, this, handler(&TForm1::Quitter1Click));
  connect(Aideenligne, &QAction::triggered, this, handler(&TForm1::AideenligneClick));
  connect(Aproposde, &QAction::triggered, this, handler(&TForm1::AproposdeClick));
  ListBox1->OnClick = handler(&TForm1::ListBox1Click);
  ListModel->OnEdited = [this](TEditKind kind, const std::vector<std::uint32_t>& at) {
    ShowEdit(kind, at);
  };
  // "Enregistrer" writes a .def list back as a .def file, which names one
  // DLL, after the file for the functions that name none.
  Panel->SingleDll = [this]() -> std::optional<AnsiString> {
    if (Source != TSourceForm::Def) return std::nullopt;
    return DllFor(FichierLib, SystemPath(FileName));
  };
}

void TForm1::SetCaption(const QString& caption) {
  caption_ = caption;
  UpdateCaption();
}

void TForm1::UpdateCaption() {
  // "[*]" in a name would be taken for the toolkit's modified-mark; doubled,
  // it shows as itself.
  QString shown = caption_;
  shown.replace(QLatin1String("[*]"), QLatin1String("[*][*]"));
  // The desktop's usual mark of unsaved changes: a "*" before the name.
  setWindowTitle(QLatin1String("[*]") + shown);
}

void TForm1::ShowEdit(TEditKind kind, const std::vector<std::uint32_t>& at) {
  if (kind == TEditKind::Machine) {
    StatusBar1->clearMessage();  // what the last change said is past
    SetListCaption(listCaption_);
    ShowMachine();
    ListBox1Click();
    return;
  }
  if (Panel->Editing()) {
    // The panel shows the edit already; only what follows from it changes.
    Panel->ShowEdited();
    UpdateStatus();
    return;
  }
  // An edit from the buttons or the undo stack: the lines it touched are
  // selected, or after a removal the line that took their place.
  if (kind == TEditKind::Remove) {
    int next = -1;
    const int count = static_cast<int>(ListModel->Count());
    for (int entry = static_cast<int>(at.front()); entry < count && next < 0; ++entry)
      if (ListBox1->LineOf(entry) >= 0) next = entry;
    for (int entry = std::min(static_cast<int>(at.front()), count) - 1; entry >= 0 && next < 0;
         --entry)
      if (ListBox1->LineOf(entry) >= 0) next = entry;
    ListBox1->setCurrentRow(next);
  } else {
    std::vector<int> rows(at.begin(), at.end());
    ListBox1->SelectEntries(rows, rows.front());
  }
  ListBox1Click();
}

void TForm1::Nouveau1Click() {
  if (!ConfirmDiscard()) return;
  FileName.clear();
  Source = TSourceForm::None;
  ReadGnu = false;
  Fonctions().Reset(10);
  FichierLib.SourceMachine = Machine::Unknown;
  ReadMachine = Machine::Unknown;
  SetListCaption(QString::fromUtf8(kNewFileCaption));
  FillListBox();
  Panel->Clear();
  UpdateStatus();
}

void TForm1::Quitter1Click() { close(); }

// The panel's handlers, by the design's names.
void TForm1::ListBox1Click() {
  Panel->ShowSelection();
  ConfirmerConvention1->setEnabled(Panel->GuessSelected());
  UpdateStatus();
}
void TForm1::Button1Click() { Panel->Add(); }
void TForm1::Button2Click() { Panel->Remove(); }
void TForm1::Edit1Change() { Panel->NameChanged(); }
void TForm1::Edit2Change() { Panel->LengthChanged(); }
void TForm1::RadioButton1Click() { Panel->ConventionChosen(true); }
void TForm1::RadioButton2Click() { Panel->ConventionChosen(false); }
void TForm1::Button3Click() { Panel->ConfirmGuess(); }
void TForm1::ConfirmerConvention1Click() { Panel->ConfirmGuess(); }
void TForm1::RefreshLabels() { Panel->RefreshLabels(); }
void TForm1::Annuler1Click() { UndoStack->undo(); }
void TForm1::Retablir1Click() { UndoStack->redo(); }

void TForm1::Copier1Click() {
  if (ListBox1->SelectedRows().empty()) return;
  QGuiApplication::clipboard()->setText(ListBox1->SelectionAsText());
  StatusBar1->showMessage(QStringLiteral("Lignes copiées."), 3000);
}

void TForm1::DevineeSuivante1Click() {
  const std::uint32_t count = ListModel->Count();
  if (count == 0) return;
  const int current = ListBox1->currentRow();
  // From the line after the current one, round to the top.
  for (std::uint32_t step = 1; step <= count; ++step) {
    const std::uint32_t i = (static_cast<std::uint32_t>(current < 0 ? -1 : current) + step) % count;
    if (ListModel->At(i).Unsure && ListBox1->LineOf(static_cast<int>(i)) >= 0) {
      ListBox1->setCurrentRow(static_cast<int>(i));
      ListBox1Click();
      return;
    }
  }
  StatusBar1->showMessage(QStringLiteral("Aucune convention devinée à vérifier."), 4000);
}

void TForm1::Edit3Change() {
  // The selected entries that stay shown stay selected.
  const std::vector<int> selected = ListBox1->SelectedRows();
  const int current = ListBox1->currentRow();
  ListFilter->SetText(Edit3->text());
  ListBox1->SelectEntries(selected, current);
  ListBox1Click();
}

void TForm1::Rechercher1Click() {
  Edit3->setFocus();
  Edit3->selectAll();
}

namespace {

// "0 fonction", "1 fonction", "2 fonctions": French counts zero as one.
QString French(std::uint64_t n, const char* singular, const char* plural) {
  return QLocale(QLocale::French).toString(static_cast<qulonglong>(n)) + QLatin1Char(' ') +
         QString::fromUtf8(n <= 1 ? singular : plural);
}

}  // namespace

void TForm1::UpdateStatus() {
  const std::uint32_t count = ListModel->Count();
  QStringList parts;
  if (ListFilter->Filtered())
    parts << French(static_cast<std::uint64_t>(ListBox1->count()), "affichée", "affichées") +
                 QStringLiteral(" sur ") + French(count, "fonction", "fonctions");
  else
    parts << French(count, "fonction", "fonctions");
  parts << French(ListBox1->SelectedRows().size(), "sélectionnée", "sélectionnées");
  parts << French(ListModel->GuessedCount(), "devinée", "devinées");
  StatusLabel->setText(parts.join(QStringLiteral(", ")));
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(event);
    const bool undo = key->matches(QKeySequence::Undo);
    const bool redo = key->matches(QKeySequence::Redo) ||
                      key->keyCombination() == QKeyCombination(Qt::CTRL, Qt::Key_Y);
    if (undo || redo) {
      // The find field undoes its own typing while it has some; every
      // other field leaves the keys to the list's history.
      if (watched == Edit3 && (undo ? Edit3->isUndoAvailable() : Edit3->isRedoAvailable()))
        return QMainWindow::eventFilter(watched, event);
      event->ignore();
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void TForm1::AideenligneClick() {
  // Beside the window, not over it: the user reads and works at once.
  auto* help = findChild<QDialog*>(QStringLiteral("Aide"));
  if (!help) {
    help = new QDialog(this);
    help->setObjectName(QStringLiteral("Aide"));
    help->setWindowTitle(QStringLiteral("Aide de Libmorph"));
    auto* layout = new QVBoxLayout(help);
    auto* text = new QTextBrowser(help);
    text->setHtml(QString::fromUtf8(kHelpHtml));
    layout->addWidget(text);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, help);
    connect(buttons, &QDialogButtonBox::rejected, help, &QDialog::close);
    layout->addWidget(buttons);
    help->resize(560, 480);
  }
  help->show();
  help->raise();
}

void TForm1::AproposdeClick() { MessageBoxA(Handle(), kAboutText, "Libmorph", MB_ICONINFORMATION); }

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  FitOuterSize();
}

void TForm1::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  FitOuterSize();
}

void TForm1::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  LayOut();
}

void TForm1::closeEvent(QCloseEvent* event) {
  bool close = false;
  RunHandler([this, &close] { close = ConfirmDiscard(); });
  if (close) event->accept();
  else event->ignore();
}

bool TForm1::ConfirmDiscard() {
  if (!Modified()) return true;
  switch (MessageBoxA(Handle(), "La liste des fonctions a été modifiée.\nEnregistrer les modifications ?",
                      "Modifications non enregistrées", kMbYesNoCancel | kMbIconQuestion)) {
    case kIdYes:
      Enregistrer1Click();
      return !Modified();  // a cancelled or failed save keeps the edits
    case kIdNo:
      return true;
    default:
      return false;
  }
}

void TForm1::OpenArguments(const QStringList& arguments) {
  if (!arguments.isEmpty()) OpenFile(QDir::toNativeSeparators(arguments.first()), kOpenAnything);
}

void TForm1::RememberFile(const QString& path) {
  QSettings settings;
  QStringList files = settings.value(kRecentKey).toStringList();
  const QString absolute = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
  files.removeAll(absolute);
  files.prepend(absolute);
  while (files.size() > kRecentFiles) files.removeLast();
  settings.setValue(kRecentKey, files);
  FillRecentMenu();
}

void TForm1::FillRecentMenu() {
  Recents1->clear();
  const QStringList files = QSettings().value(kRecentKey).toStringList();
  int n = 0;
  for (const QString& file : files) {
    // "&1 /path/fmod.lib": the digit is the key.
    QAction* action = Recents1->addAction(QStringLiteral("&%1 %2").arg(++n % 10).arg(file));
    connect(action, &QAction::triggered, this, [this, file] {
      RunHandler([this, &file] {
        if (ConfirmDiscard()) OpenFile(file, kOpenAnything);
      });
    });
  }
  Recents1->setEnabled(!files.isEmpty());
}

namespace {

// The one local file a drag carries, or an empty path.
QString DraggedFile(const QMimeData* data) {
  if (!data || !data->hasUrls() || data->urls().size() != 1) return {};
  const QUrl url = data->urls().first();
  return url.isLocalFile() ? QDir::toNativeSeparators(url.toLocalFile()) : QString();
}

}  // namespace

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
  if (!DraggedFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
  const QString path = DraggedFile(event->mimeData());
  if (path.isEmpty()) return;
  event->acceptProposedAction();
  RunHandler([this, &path] {
    if (ConfirmDiscard()) OpenFile(path, kOpenAnything);
  });
}

// The design gives the outer size, frame included; the toolkit sizes the
// inside. The frame is known once the window manager has framed the
// window, which is why this runs at showing and at the first moves.
void TForm1::FitOuterSize() {
  if (outerSizeFitted_ || !windowHandle()) return;
  const QMargins frame = windowHandle()->frameMargins();
  if (frame.isNull()) return;
  outerSizeFitted_ = true;
  const QSize inner(kFormWidth - frame.left() - frame.right(),
                    kFormHeight - frame.top() - frame.bottom());
  // A title bar taller than the design's must not cut off the lower controls.
  const QSize needed(designedContent_.width(), menuBar()->height() + designedContent_.height() +
                                                   StatusBar1->sizeHint().height());
  QSize size = inner.expandedTo(needed);
  // Never past the screen's free area: the list box gives up height first.
  const QScreen* screen = windowHandle()->screen();
  if (!screen) {
    resize(size);
    return;
  }
  const QRect area = screen->availableGeometry();
  size = size.boundedTo(QSize(area.width() - frame.left() - frame.right(),
                              area.height() - frame.top() - frame.bottom()));
  resize(size);
  QRect outer(geometry().topLeft() - QPoint(frame.left(), frame.top()), size.grownBy(frame));
  if (!area.contains(outer)) {
    outer.moveRight(std::min(outer.right(), area.right()));
    outer.moveBottom(std::min(outer.bottom(), area.bottom()));
    outer.moveLeft(std::max(outer.left(), area.left()));
    outer.moveTop(std::max(outer.top(), area.top()));
    move(outer.topLeft());
  }
}
