#include "app/unit1.h"

#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QGuiApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QUndoStack>
#include <QUrl>
#include <QWindow>

#include <algorithm>
#include <limits>

#include "app/application.h"
#include "app/export_list_model.h"
#include "app/fonts.h"
#include "app/list_box.h"
#include "app/qt_message_box.h"
#include "app/up_down.h"
#include "platform/codepage.h"
#include "platform/message_box.h"

namespace {

constexpr int kListLineHeight = 14;
// The list box may shrink to this height when the screen is too small for
// the designed window.
constexpr int kListMinHeight = 56;
constexpr int kListDesignedHeight = 178;
// Room kept right of and below the lowest controls when the window has to
// grow to hold them.
constexpr int kContentMargin = 6;

constexpr char kOpenFilter[] =
    "Librairies (*.lib)|*.lib|Fichiers de definition (*.def)|*.def|Tous (*.*)|*.*|"
    "Bibliothèques dynamiques (*.dll)|*.dll";
constexpr char kSaveFilter[] =
    "Librairie OMF (Microsoft) (*.lib)|*.lib|Librairie COFF (Borland) (*.lib)|*.lib|"
    "Fichier de définitions (*.def)|*.def";

constexpr char kHelpText[] = "Si ça marche pas, démerdez-vous !";
constexpr char kAboutText[] = "Libmorph 1.0 : conversion de librairies d'importation";

template <typename Widget>
Widget* Place(Widget* widget, int left, int top, int width, int height) {
  widget->setGeometry(left, top, width, height);
  return widget;
}

// A label that takes the width of its caption, as the design's labels do,
// so that no caption is ever cut.
QLabel* CaptionLabel(QWidget* parent, const char* caption, int left, int top, int width,
                     int height) {
  auto* label = new QLabel(QString::fromUtf8(caption), parent);
  label->setTextFormat(Qt::PlainText);
  const QFontMetrics metrics(label->font());
  const int textWidth = metrics.horizontalAdvance(label->text()) + 1;
  return Place(label, left, top, std::max(width, textWidth), std::max(height, metrics.height()));
}

// A label of fixed size for a decorated name.
QLabel* SymbolLabel(QWidget* parent, int left, int top, int width, int height) {
  auto* label = new QLabel(parent);
  label->setTextFormat(Qt::PlainText);  // names are shown as they are
  label->setFont(SymbolFont());
  return Place(label, left, top, width, height);
}

}  // namespace

QString AnsiToQString(const AnsiString& text) { return QString::fromStdString(AnsiToUtf8(text)); }

AnsiString QStringToAnsi(const QString& text) { return Utf8ToAnsi(text.toStdString()); }

TForm1::TForm1(TDialogs& dialogs, QWidget* parent) : QMainWindow(parent), dialogs_(dialogs) {
  setFont(WindowFont());
  UndoStack = new QUndoStack(this);
  ListModel = new TExportListModel(FichierLib.Fonctions, this);
  SetListCaption(QString::fromUtf8(kFormCaption));
  CreateMenus();
  CreateControls();
  SetTabOrder();
  ConnectHandlers();
  CreateShortcuts();
  Edit1->installEventFilter(this);
  Edit2->installEventFilter(this);
  UpdateStatus();
  ShowGuess();
  setAcceptDrops(true);
  resize(kFormWidth, kFormHeight);
  PlaceOnScreen();
}

TForm1::~TForm1() {
  // The stack and the model look at this window's members, which go
  // before the toolkit deletes the children.
  UndoStack->disconnect(this);
  delete UndoStack;
  ListBox1->setModel(nullptr);
  delete ListModel;
}

void TForm1::CreateMenus() {
  MainMenu1 = menuBar();
  Fichiers1 = MainMenu1->addMenu(QStringLiteral("&Fichiers"));
  Nouveau1 = Fichiers1->addAction(QStringLiteral("&Nouveau"));
  Ouvrir1 = Fichiers1->addAction(QStringLiteral("&Ouvrir"));
  Enregistrer1 = Fichiers1->addAction(QStringLiteral("En&registrer"));
  EnregistrerSous1 = Fichiers1->addAction(QStringLiteral("&Enregistrer sous ..."));
  VerifierAvecDll1 = Fichiers1->addAction(QStringLiteral("&Vérifier avec une DLL ..."));
  N1 = Fichiers1->addSeparator();
  Quitter1 = Fichiers1->addAction(QStringLiteral("&Quitter"));
  Edition1 = MainMenu1->addMenu(QStringLiteral("É&dition"));
  Annuler1 = Edition1->addAction(QStringLiteral("&Annuler"));
  Retablir1 = Edition1->addAction(QStringLiteral("&Rétablir"));
  Edition1->addSeparator();
  Rechercher1 = Edition1->addAction(QStringLiteral("Re&chercher"));
  DevineeSuivante1 = Edition1->addAction(QStringLiteral("Convention devinée &suivante"));
  ConfirmerConvention1 = Edition1->addAction(QStringLiteral("C&onfirmer la convention"));
  Annuler1->setShortcut(QKeySequence::Undo);
  Retablir1->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Y),
                           QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
  Rechercher1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
  DevineeSuivante1->setShortcut(QKeySequence(Qt::Key_F3));
  ConfirmerConvention1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
  Annuler1->setEnabled(false);
  Retablir1->setEnabled(false);
  ConfirmerConvention1->setEnabled(false);
  Edition1->setFont(WindowFont());
  CreateMachineMenu();
  Aide = MainMenu1->addMenu(QStringLiteral("&Aide"));
  Aideenligne = Aide->addAction(QStringLiteral("Aide en &ligne"));
  Aproposde = Aide->addAction(QStringLiteral("A &propos de"));
  Nouveau1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
  Ouvrir1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  Enregistrer1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  EnregistrerSous1->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
  Quitter1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  Aideenligne->setShortcut(QKeySequence(Qt::Key_F1));
  // Menus are windows of their own and do not inherit the window's font.
  Fichiers1->setFont(WindowFont());
  Aide->setFont(WindowFont());

  OpenDialog1.Kind = TDialogKind::Open;
  OpenDialog1.Filter = QString::fromUtf8(kOpenFilter);
  SaveDialog1.Kind = TDialogKind::Save;
  SaveDialog1.Filter = QString::fromUtf8(kSaveFilter);
}

void TForm1::CreateControls() {
  auto* client = new QWidget(this);
  setCentralWidget(client);

  ListBox1 = Place(new TListBox(client), 6, 21, 499, kListDesignedHeight);
  ListBox1->SetListModel(ListModel);
  ListBox1->setFont(SymbolFont());
  ListBox1->SetLineHeight(kListLineHeight);
  Label1 = CaptionLabel(client, "Liste des fonctions :", 6, 3, 94, 13);
  // The filter stands on the caption's line, right of it.
  Edit3 = Place(new QLineEdit(client), 285, 0, 220, 20);
  Edit3->setPlaceholderText(QStringLiteral("Rechercher (Ctrl+F)"));
  Edit3->setClearButtonEnabled(true);
  Edit3->setToolTip(QStringLiteral("N'affiche que les fonctions dont le nom contient ce texte"));
  Edit1 = Place(new QLineEdit(client), 6, 237, 499, 21);
  Edit1->setMaxLength(std::numeric_limits<int>::max());  // a name is never cut
  Label2 = CaptionLabel(client, "Nom:", 6, 219, 25, 13);

  GroupBox1 = Place(new QGroupBox(QStringLiteral("Conventions d'appel"), client), 6, 264, 247, 73);
  RadioButton1 = Place(new QRadioButton(QStringLiteral("_pascal"), GroupBox1), 12, 21, 73, 17);
  RadioButton2 = Place(new QRadioButton(QStringLiteral("_stdcall"), GroupBox1), 12, 42, 73, 17);
  RadioButton1->setChecked(true);
  // Said in words beside the buttons, for the current function only.
  Label9 = Place(new QLabel(QStringLiteral("Convention devinée"), GroupBox1), 92, 21, 150, 17);
  Label9->setStyleSheet(QStringLiteral("color: #B03000; font-weight: bold"));
  Label9->setVisible(false);
  Button3 = Place(new QPushButton(QStringLiteral("Confirmer"), GroupBox1), 92, 42, 75, 19);
  Button3->setToolTip(QStringLiteral("Garde la convention cochée et la marque comme vérifiée"));
  Button3->setAutoDefault(false);
  Button3->setVisible(false);

  // Stands over the conventions, which it tells are greyed for the list's
  // machine; not a child of their box, so that it is not greyed with them.
  Label10 = Place(new QLabel(QString::fromUtf8(
                                 "Les décorations ne s'appliquent qu'aux bibliothèques Intel 32 bits."),
                             client),
                  98, 282, 150, 50);
  Label10->setWordWrap(true);
  Label10->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Label10->setVisible(false);

  GroupBox2 = Place(new QGroupBox(QStringLiteral("Longueur arguments"), client), 258, 264, 247, 73);
  Edit2 = Place(new QLineEdit(QStringLiteral("0"), GroupBox2), 54, 27, 67, 21);
  UpDown1 = Place(new TUpDown(GroupBox2), 121, 27, 15, 21);
  UpDown1->Min = kArgLengthMin;
  UpDown1->Max = kArgLengthMax;
  UpDown1->Increment = 1;
  UpDown1->Wrap = false;
  UpDown1->SetPosition(0);
  UpDown1->SetAssociate(Edit2);

  GroupBox3 = Place(new QGroupBox(QStringLiteral("Nom exporté"), client), 6, 342, 499, 88);
  Label3 = CaptionLabel(GroupBox3, "Microsoft :", 12, 18, 49, 13);
  Label4 = SymbolLabel(GroupBox3, 66, 18, 427, 16);
  Label5 = CaptionLabel(GroupBox3, "Borland :", 12, 39, 42, 13);
  Label6 = SymbolLabel(GroupBox3, 66, 39, 427, 16);
  Label7 = CaptionLabel(GroupBox3, "Import :", 12, 60, 42, 13);
  Label8 = SymbolLabel(GroupBox3, 66, 60, 427, 16);
  // The names start clear of the widest caption in this system's fonts.
  const int names = std::max({66, Label3->geometry().right() + 5, Label5->geometry().right() + 5,
                              Label7->geometry().right() + 5});
  for (QLabel* label : {Label4, Label6, Label8})
    label->setGeometry(names, label->y(), 493 - names, label->height());

  Button1 = Place(new QPushButton(QStringLiteral("Ajouter"), client), 348, 204, 75, 19);
  Button2 = Place(new QPushButton(QStringLiteral("Supprimer"), client), 432, 204, 75, 19);
  // A push button must not take the Enter key from the edits.
  Button1->setAutoDefault(false);
  Button2->setAutoDefault(false);

  for (QWidget* widget : {static_cast<QWidget*>(ListBox1), static_cast<QWidget*>(Label2),
                          static_cast<QWidget*>(Edit1), static_cast<QWidget*>(GroupBox1),
                          static_cast<QWidget*>(GroupBox2), static_cast<QWidget*>(GroupBox3),
                          static_cast<QWidget*>(Label4), static_cast<QWidget*>(Label6),
                          static_cast<QWidget*>(Label8), static_cast<QWidget*>(Button1),
                          static_cast<QWidget*>(Button2), static_cast<QWidget*>(Edit3),
                          static_cast<QWidget*>(Label10)})
    designed_.emplace_back(widget, widget->geometry());
  const QRect content = client->childrenRect();
  designedContent_ = QSize(content.right() + kContentMargin, content.bottom() + kContentMargin);
  // Smaller, the lower controls would be cut off; only the list box gives
  // up height, for a screen too small for the design.
  client->setMinimumSize(designedContent_ - QSize(0, kListDesignedHeight - kListMinHeight));

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
  for (const auto& [widget, rect] : designed_) {
    QRect place = rect;
    if (widget == ListBox1) {
      place.adjust(0, 0, dw, dh);
    } else if (widget == Edit3) {
      place.translate(dw, 0);
    } else if (widget == Button1 || widget == Button2) {
      place.translate(dw, dh);
    } else if (widget->parentWidget() == GroupBox3 || widget == Edit1) {
      place.adjust(0, 0, dw, 0);
      if (widget == Edit1) place.translate(0, dh);
    } else {
      if (widget == GroupBox3) place.adjust(0, 0, dw, 0);
      place.translate(0, dh);
    }
    widget->setGeometry(place);
  }
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
  connect(Annuler1, &QAction::triggered, this, handler(&TForm1::Annuler1Click));
  connect(Retablir1, &QAction::triggered, this, handler(&TForm1::Retablir1Click));
  connect(Rechercher1, &QAction::triggered, this, handler(&TForm1::Rechercher1Click));
  connect(DevineeSuivante1, &QAction::triggered, this, handler(&TForm1::DevineeSuivante1Click));
  connect(ConfirmerConvention1, &QAction::triggered, this,
          handler(&TForm1::ConfirmerConvention1Click));
  connect(Button3, &QPushButton::clicked, this, handler(&TForm1::Button3Click));
  connect(Edit3, &QLineEdit::textChanged, this, handler(&TForm1::Edit3Change));
  connect(UndoStack, &QUndoStack::canUndoChanged, Annuler1, &QAction::setEnabled);
  connect(UndoStack, &QUndoStack::canRedoChanged, Retablir1, &QAction::setEnabled);
  // Undoing back to the saved list leaves nothing unsaved.
  connect(UndoStack, &QUndoStack::indexChanged, this,
          [this] { SetModified(!UndoStack->isClean()); });
  connect(Quitter1, &QAction::triggered, this, handler(&TForm1::Quitter1Click));
  connect(Aideenligne, &QAction::triggered, this, handler(&TForm1::AideenligneClick));
  connect(Aproposde, &QAction::triggered, this, handler(&TForm1::AproposdeClick));

  ListBox1->OnClick = handler(&TForm1::ListBox1Click);
  connect(Button1, &QPushButton::clicked, this, handler(&TForm1::Button1Click));
  connect(Button2, &QPushButton::clicked, this, handler(&TForm1::Button2Click));
  connect(Edit1, &QLineEdit::textChanged, this, handler(&TForm1::Edit1Change));
  connect(Edit2, &QLineEdit::textChanged, this, handler(&TForm1::Edit2Change));
  // clicked, unlike toggled, comes from the user only.
  connect(RadioButton1, &QRadioButton::clicked, this, handler(&TForm1::RadioButton1Click));
  connect(RadioButton2, &QRadioButton::clicked, this, handler(&TForm1::RadioButton2Click));
}

void TForm1::SetCaption(const QString& caption) {
  caption_ = caption;
  UpdateCaption();
}

void TForm1::UpdateCaption() {
  // "[*]" would otherwise be taken for the toolkit's modified-mark.
  QString shown = caption_;
  shown.replace(QLatin1String("[*]"), QLatin1String("[*][*]"));
  // The desktop's usual mark of unsaved changes: a "*" before the name.
  setWindowTitle(Modified ? QLatin1Char('*') + shown : shown);
}

void TForm1::SetModified(bool modified) {
  Modified = modified;
  UpdateCaption();
}

void TForm1::Nouveau1Click() {
  if (!ConfirmDiscard()) return;
  Modified = false;
  FileName.clear();
  Source = TSourceForm::None;
  Fonctions().Reset(10);
  FichierLib.SourceMachine = 0;
  ReadMachine = 0;
  SetListCaption(QString::fromUtf8(kNewFileCaption));
  FillListBox();
  Filling = true;
  Edit1->setText(QString());
  Edit2->setText(QString());
  UncheckConventions();
  Label4->setText(QString());
  Label6->setText(QString());
  Label8->setText(QString());
  Filling = false;
  ShowGuess();
  UpdateStatus();
}

void TForm1::Quitter1Click() { close(); }

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->matches(QKeySequence::Undo) || key->matches(QKeySequence::Redo) ||
        key->keyCombination() == QKeyCombination(Qt::CTRL, Qt::Key_Y)) {
      // Left to the window's actions.
      event->ignore();
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void TForm1::AideenligneClick() { MessageBoxA(Handle(), kHelpText, "Libmorph", MB_ICONWARNING); }

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
  if (!Modified) return true;
  switch (MessageBoxA(Handle(), "La liste des fonctions a été modifiée.\nEnregistrer les modifications ?",
                      "Modifications non enregistrées", kMbYesNoCancel | kMbIconQuestion)) {
    case kIdYes:
      Enregistrer1Click();
      return !Modified;  // a cancelled or failed save keeps the edits
    case kIdNo:
      return true;
    default:
      return false;
  }
}

void TForm1::OpenArguments(const QStringList& arguments) {
  if (!arguments.isEmpty()) OpenFile(arguments.first(), kOpenAnything);
}

namespace {

// The one local file a drag carries, or an empty path.
QString DraggedFile(const QMimeData* data) {
  if (!data || !data->hasUrls() || data->urls().size() != 1) return {};
  const QUrl url = data->urls().first();
  return url.isLocalFile() ? url.toLocalFile() : QString();
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
  const QRect content = centralWidget()->childrenRect();
  const QSize needed(content.right() + kContentMargin,
                     menuBar()->height() + content.bottom() + kContentMargin +
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
