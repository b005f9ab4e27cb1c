#include "app/editing_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QUndoStack>

#include <algorithm>
#include <limits>
#include <numeric>
#include <optional>

#include "app/application.h"
#include "app/export_list_model.h"
#include "app/fonts.h"
#include "app/list_box.h"
#include "app/list_commands.h"
#include "app/name_edit.h"
#include "app/qt_message_box.h"
#include "app/up_down.h"
#include "model/decorated_names.h"
#include "model/entry_edits.h"
#include "model/machine.h"
#include "platform/message_box.h"

namespace {

// The panel's top in the window's design: its controls stand where the
// design put them, less this.
constexpr int kPanelTop = 200;

// Keys typed into one field for the same entries make one undo step.
enum MergeKey { kMergeName = 1, kMergeLength = 2, kMergeDll = 3, kMergeExport = 4, kMergeOrdinal = 5 };

template <typename Widget>
Widget* Place(Widget* widget, int left, int top, int width, int height) {
  widget->setGeometry(left, top - kPanelTop, width, height);
  return widget;
}

template <typename Widget>
Widget* PlaceIn(Widget* widget, int left, int top, int width, int height) {
  widget->setGeometry(left, top, width, height);
  return widget;
}


// A label of fixed size for a decorated name.
QLabel* SymbolLabel(QWidget* parent, int left, int top, int width, int height) {
  auto* label = new QLabel(parent);
  label->setTextFormat(Qt::PlainText);  // names are shown as they are
  label->setFont(SymbolFont());
  return PlaceIn(label, left, top, width, height);
}

QString DecimalText(std::int32_t value) { return QString::fromStdString(IntToStr(value)); }

// A box's mark: "" for a sound value, else why not, in red where nothing
// was taken, in yellow for a doubt.
void MarkField(QLineEdit* box, const QString& why, bool refused) {
  box->setToolTip(why);
  box->setStyleSheet(why.isEmpty() ? QString()
                     : refused     ? QStringLiteral("background: #FFD8D8")
                                   : QStringLiteral("background: #FFF0C8"));
}

QStringList ColumnTitles(const TExportListModel& model) {
  QStringList titles;
  for (int column = 0; column < kColumnCount; ++column)
    titles << model.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
  return titles;
}

// How the entry is imported: by which name or ordinal, what it holds, from
// which DLL.
QString ImportText(const TFonctionLib& entry, Machine machine) {
  const ImportBinding& import = entry.Import;
  QString text;
  if (import.ByOrdinal) {
    text = QStringLiteral("ordinal %1").arg(import.Ordinal);
    if (import.NoName) text += QStringLiteral(" (sans nom)");
  } else {
    text = AnsiToQString(LookupName(entry, machine));
  }
  if (!import.Dll.empty()) text += QStringLiteral(" de ") + AnsiToQString(import.Dll);
  if (import.Kind == ImportKind::Data) text += QStringLiteral(", données");
  if (import.Kind == ImportKind::Const) text += QStringLiteral(", constante");
  if (import.Private) text += QStringLiteral(", privée");
  if (!import.ForwardTo.empty())
    text += QStringLiteral(", renvoyée à ") + AnsiToQString(import.ForwardTo);
  return text;
}

}  // namespace

TEditingPanel::TEditingPanel(TExportListModel& model, TListBox& list, QUndoStack& stack,
                             QWidget* parent)
    : QWidget(parent), model_(model), list_(list), stack_(stack) {
  const QStringList titles = ColumnTitles(model);
  Edit1 = Place(new TNameEdit(titles, kColumnName, this), 6, 237, 499, 21);
  Edit1->setMaxLength(std::numeric_limits<int>::max());  // a name is never cut
  Label2 = CaptionLabel(this, "Nom:", 6, 219 - kPanelTop, 25, 13);
  Label2->setBuddy(Edit1);

  GroupBox1 = Place(new QGroupBox(QStringLiteral("Conventions d'appel"), this), 6, 264, 247, 73);
  RadioButton1 = PlaceIn(new QRadioButton(QStringLiteral("_pascal"), GroupBox1), 12, 21, 73, 17);
  RadioButton2 = PlaceIn(new QRadioButton(QStringLiteral("_stdcall"), GroupBox1), 12, 42, 73, 17);
  RadioButton1->setChecked(true);
  // Said in words beside the buttons, for the current function only.
  Label9 = PlaceIn(new QLabel(QStringLiteral("Convention devinée"), GroupBox1), 92, 21, 150, 17);
  Label9->setStyleSheet(QStringLiteral("color: #B03000; font-weight: bold"));
  Label9->setVisible(false);
  Button3 = PlaceIn(new QPushButton(QStringLiteral("Confirmer"), GroupBox1), 92, 42, 75, 19);
  Button3->setToolTip(QStringLiteral("Garde la convention cochée et la marque comme vérifiée"));
  Button3->setAutoDefault(false);
  Button3->setVisible(false);

  // Stands over the conventions, which it tells are greyed, and why; not a
  // child of their box, so that it is not greyed with them.
  Label10 = Place(new QLabel(this), 98, 282, 150, 50);
  Label10->setWordWrap(true);
  Label10->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Label10->setVisible(false);

  GroupBox2 = Place(new QGroupBox(QStringLiteral("Longueur arguments"), this), 258, 264, 247, 73);
  Edit2 = PlaceIn(new QLineEdit(QStringLiteral("0"), GroupBox2), 54, 27, 67, 21);
  UpDown1 = PlaceIn(new TUpDown(GroupBox2), 121, 27, 15, 21);
  UpDown1->Min = kArgLengthMin;
  UpDown1->Max = kArgLengthMax;
  UpDown1->Increment = 1;
  UpDown1->Wrap = false;
  UpDown1->SetPosition(0);
  UpDown1->SetAssociate(Edit2);
  LengthNote = PlaceIn(new QLabel(GroupBox2), 142, 20, 100, 36);
  LengthNote->setWordWrap(true);
  LengthNote->setStyleSheet(QStringLiteral("color: #B03000"));

  GroupBox3 = Place(new QGroupBox(QStringLiteral("Nom exporté"), this), 6, 342, 499, 88);
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
  for (QLabel* label : {Label4, Label6, Label8})
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);

  GroupBox4 = Place(new QGroupBox(QStringLiteral("Import"), this), 6, 434, 499, 72);
  auto* dllLabel = CaptionLabel(GroupBox4, "DLL :", 12, 21, 30, 13);
  DllEdit = PlaceIn(new TNameEdit(titles, kColumnDll, GroupBox4), dllLabel->geometry().right() + 6, 17, 170, 21);
  DllEdit->setPlaceholderText(QStringLiteral("(d'après le nom du fichier)"));
  dllLabel->setBuddy(DllEdit);
  auto* kindLabel = CaptionLabel(GroupBox4, "Type :", 262, 21, 34, 13);
  KindBox = PlaceIn(new QComboBox(GroupBox4), kindLabel->geometry().right() + 6, 17, 110, 21);
  KindBox->addItems({KindText(ImportKind::Code), KindText(ImportKind::Data),
                     KindText(ImportKind::Const)});
  kindLabel->setBuddy(KindBox);
  auto* exportLabel = CaptionLabel(GroupBox4, "Nom exporté :", 12, 47, 70, 13);
  ExportEdit = PlaceIn(new TNameEdit(titles, kColumnLookup, GroupBox4), exportLabel->geometry().right() + 6, 43, 176, 21);
  ExportEdit->setPlaceholderText(QStringLiteral("(le nom)"));
  exportLabel->setBuddy(ExportEdit);
  OrdinalCheck = PlaceIn(new QCheckBox(QStringLiteral("Ordinal"), GroupBox4), 290, 45, 66, 17);
  OrdinalCheck->setToolTip(QStringLiteral("Importée par son numéro d'ordre dans la DLL"));
  OrdinalSpin = PlaceIn(new QSpinBox(GroupBox4), 358, 43, 62, 21);
  OrdinalSpin->setRange(0, 65535);
  NoNameCheck = PlaceIn(new QCheckBox(QStringLiteral("sans nom"), GroupBox4), 424, 45, 70, 17);
  NoNameCheck->setToolTip(QStringLiteral("La DLL n'exporte pas de nom pour cet ordinal (NONAME)"));

  Button1 = Place(new QPushButton(QStringLiteral("Ajouter"), this), 348, 204, 75, 19);
  Button2 = Place(new QPushButton(QStringLiteral("Supprimer"), this), 432, 204, 75, 19);
  // A push button must not take the Enter key from the edits.
  Button1->setAutoDefault(false);
  Button2->setAutoDefault(false);

  for (QWidget* widget : std::initializer_list<QWidget*>{
           Label2, Edit1, GroupBox1, GroupBox2, GroupBox3, Label4, Label6, Label8, Button1,
           Button2, Label10, GroupBox4})
    designed_.emplace_back(widget, widget->geometry());
  // Room of the design's margin right of and below the lowest controls.
  designedWidth_ = childrenRect().right() + 6;
  setMinimumSize(designedWidth_, childrenRect().bottom() + 6);

  auto run = [](auto method) { return [method] { RunHandler(method); }; };
  connect(Edit1, &QLineEdit::textChanged, this, run([this] { NameChanged(); }));
  connect(Edit2, &QLineEdit::textChanged, this, run([this] { LengthChanged(); }));
  // clicked, unlike toggled, comes from the user only.
  connect(RadioButton1, &QRadioButton::clicked, this, run([this] { ConventionChosen(true); }));
  connect(RadioButton2, &QRadioButton::clicked, this, run([this] { ConventionChosen(false); }));
  connect(Button1, &QPushButton::clicked, this, run([this] { Add(); }));
  connect(Button2, &QPushButton::clicked, this, run([this] { Remove(); }));
  connect(Button3, &QPushButton::clicked, this, run([this] { ConfirmGuess(); }));
  connect(DllEdit, &QLineEdit::textEdited, this, run([this] { DllChanged(); }));
  connect(DllEdit, &QLineEdit::returnPressed, this, run([this] { SettleDll(); }));
  DllEdit->installEventFilter(this);
  // A DLL held for a list that is no more is no one's.
  connect(&model_, &QAbstractItemModel::modelReset, this, [this] { heldDll_.reset(); });
  connect(KindBox, &QComboBox::activated, this, [this](int kind) {
    RunHandler([this, kind] { KindChosen(kind); });
  });
  connect(ExportEdit, &QLineEdit::textEdited, this, run([this] { ExportNameChanged(); }));
  connect(OrdinalCheck, &QCheckBox::clicked, this, run([this] { OrdinalChanged(); }));
  connect(NoNameCheck, &QCheckBox::clicked, this, run([this] { OrdinalChanged(); }));
  connect(OrdinalSpin, &QSpinBox::valueChanged, this, run([this] {
            if (!filling_) OrdinalChanged();
          }));
}

void TEditingPanel::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const int dw = std::max(0, width() - designedWidth_);
  for (const auto& [widget, rect] : designed_) {
    QRect place = rect;
    if (widget == Button1 || widget == Button2) place.translate(dw, 0);
    else if (widget == Edit1 || widget == GroupBox3 || widget == GroupBox4 ||
             widget->parentWidget() == GroupBox3)
      place.adjust(0, 0, dw, 0);
    widget->setGeometry(place);
  }
}

bool TEditingPanel::eventFilter(QObject* watched, QEvent* event) {
  // Leaving the DLL box for another control settles what it holds, once
  // the click or key that left it is done; a dialog or menu that takes the
  // focus for a while does not.
  if (watched == DllEdit && event->type() == QEvent::FocusOut && heldDll_) {
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
      QTimer::singleShot(0, this, [this] { RunHandler([this] { SettleDll(); }); });
  }
  return QWidget::eventFilter(watched, event);
}

// A line past the end of the list has no entry.
const TFonctionLib* TEditingPanel::EntryAt(int entry) const {
  if (entry < 0 || static_cast<std::uint32_t>(entry) >= model_.Count()) return nullptr;
  return &model_.At(static_cast<std::uint32_t>(entry));
}

const TFonctionLib* TEditingPanel::Current() const { return EntryAt(list_.currentRow()); }

void TEditingPanel::ShowConvention(bool isPascal) {
  // Checking one button of the group unchecks the other.
  (isPascal ? RadioButton1 : RadioButton2)->setChecked(true);
}

void TEditingPanel::UncheckConventions() {
  // Buttons of one group keep one of them checked unless told otherwise.
  for (QRadioButton* button : {RadioButton1, RadioButton2}) {
    button->setAutoExclusive(false);
    button->setChecked(false);
    button->setAutoExclusive(true);
  }
}

void TEditingPanel::ShowSelection() {
  NewEditSession();
  // The panel's own writes are no edits.
  const QSignalBlocker name(Edit1);
  const QSignalBlocker length(Edit2);
  const std::vector<int> selected = list_.SelectedRows();
  const TFonctionLib* current = Current();
  if (selected.size() == 1 && current) {
    Edit1->setText(AnsiToQString(current->Name));
    RefuseName(Edit1, Edit1->text());
    Edit2->setText(DecimalText(current->ArgLength));
    ShowConvention(current->IsPascal);
  } else {
    Edit1->setText(QString());
    RefuseName(Edit1, QString());
    std::optional<std::int32_t> length;
    std::optional<bool> isPascal;
    bool sameLength = true;
    bool sameConvention = true;
    for (int row : selected) {
      const TFonctionLib* entry = EntryAt(row);
      if (!entry) continue;
      if (!length) length = entry->ArgLength;
      else if (*length != entry->ArgLength) sameLength = false;
      if (!isPascal) isPascal = entry->IsPascal;
      else if (*isPascal != entry->IsPascal) sameConvention = false;
    }
    // A negative length is shown only for a single selected line.
    Edit2->setText(length && sameLength && *length >= 0 ? DecimalText(*length) : QString());
    if (isPascal && sameConvention) ShowConvention(*isPascal);
    else UncheckConventions();
  }
  MarkLength({}, false);
  if (selected.size() == 1) {
    RefreshLabels();
  } else {
    // Several functions selected: no one function's symbols.
    for (QLabel* label : {Label4, Label6, Label8}) label->setText(QString());
  }
  ShowImport();
  ShowWhatApplies();
  ShowGuess();
}

void TEditingPanel::ShowEdited() {
  RefreshLabels();
  ShowImport();
  ShowWhatApplies();
  ShowGuess();
}

void TEditingPanel::Clear() {
  const QSignalBlocker name(Edit1);
  const QSignalBlocker length(Edit2);
  Edit1->setText(QString());
  Edit2->setText(QString());
  RefuseName(Edit1, QString());
  MarkLength({}, false);
  UncheckConventions();
  RefreshLabels();
  ShowImport();
  ShowWhatApplies();
  ShowGuess();
}

void TEditingPanel::RefreshLabels() {
  const TFonctionLib* current = Current();
  // Off 32-bit Intel both toolchains link against the plain symbol.
  const Machine machine = model_.ListMachine();
  Label4->setText(current ? AnsiToQString(MicrosoftName(*current, machine)) : QString());
  Label6->setText(current ? AnsiToQString(BorlandName(*current, machine)) : QString());
  const QString import = current ? ImportText(*current, machine) : QString();
  Label8->setText(import);
  Label8->setToolTip(import);  // the whole of a line too long for the box
}

void TEditingPanel::ShowGuess() {
  const TFonctionLib* current = Current();
  bool guessed = false;
  for (int row : list_.SelectedRows())
    if (const TFonctionLib* entry = EntryAt(row); entry && entry->Unsure) guessed = true;
  // Off 32-bit Intel there is no convention to guess.
  const bool decorates = Decorates(model_.ListMachine());
  guessSelected_ = guessed && decorates;
  Label9->setVisible(decorates && current && current->Unsure);
  Button3->setVisible(guessSelected_);
}

void TEditingPanel::ShowMachine() {
  ShowWhatApplies();
  ShowGuess();
}

void TEditingPanel::ShowWhatApplies() {
  // The conventions and the length only make a symbol's decoration: they
  // change nothing where there is none to make.
  QString why;
  const std::vector<int> selected = list_.SelectedRows();
  bool allData = !selected.empty();
  bool allCxx = !selected.empty();
  for (int row : selected) {
    const TFonctionLib* entry = EntryAt(row);
    if (!entry) continue;
    allData = allData && entry->Import.Kind != ImportKind::Code;
    allCxx = allCxx && (entry->Name.starts_with('?') || entry->Import.Symbol.starts_with('?'));
  }
  if (!Decorates(model_.ListMachine()))
    why = QStringLiteral("Les décorations ne s'appliquent qu'aux bibliothèques Intel 32 bits.");
  else if (allData)
    why = QStringLiteral("Des données n'ont ni convention ni arguments.");
  else if (allCxx)
    why = QStringLiteral("Un nom C++ porte déjà sa convention et ses arguments.");
  GroupBox1->setEnabled(why.isEmpty());
  GroupBox2->setEnabled(why.isEmpty());
  Label10->setText(why);
  Label10->setVisible(!why.isEmpty());
}

void TEditingPanel::ShowImport() {
  filling_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{filling_};
  const std::vector<int> selected = list_.SelectedRows();
  std::optional<ImportKind> kind;
  bool sameKind = true;
  for (int row : selected) {
    const TFonctionLib* entry = EntryAt(row);
    if (!entry) continue;
    if (!kind) kind = entry->Import.Kind;
    else if (*kind != entry->Import.Kind) sameKind = false;
  }
  GroupBox4->setEnabled(!selected.empty());
  // The box being typed in keeps what is typed.
  if (!DllEdit->hasFocus()) ShowDll();
  KindBox->setCurrentIndex(kind && sameKind ? static_cast<int>(*kind) : -1);
  // The lookup is one function's: several selected share no export name.
  const TFonctionLib* one = selected.size() == 1 ? Current() : nullptr;
  for (QWidget* w : std::initializer_list<QWidget*>{ExportEdit, OrdinalCheck, OrdinalSpin,
                                                    NoNameCheck})
    w->setEnabled(one != nullptr);
  if (!one) {
    ExportEdit->clear();
    RefuseName(ExportEdit, QString());
    ExportEdit->setPlaceholderText(QString());
    OrdinalCheck->setChecked(false);
    NoNameCheck->setChecked(false);
    OrdinalSpin->setValue(0);
    return;
  }
  const ImportBinding& import = one->Import;
  if (!ExportEdit->hasFocus()) {
    ExportEdit->setText(AnsiToQString(import.ExportName));
    RefuseName(ExportEdit, ExportEdit->text());
  }
  ExportEdit->setEnabled(!import.ByOrdinal);
  ExportEdit->setPlaceholderText(import.ByOrdinal ? QString()
                                                  : AnsiToQString(LookupName(*one, model_.ListMachine())));
  OrdinalCheck->setChecked(import.ByOrdinal);
  NoNameCheck->setChecked(import.NoName);
  NoNameCheck->setEnabled(import.ByOrdinal);
  OrdinalSpin->setValue(import.Ordinal);
}

void TEditingPanel::ShowDll() {
  std::optional<AnsiString> dll;
  bool sameDll = true;
  for (int row : list_.SelectedRows()) {
    const TFonctionLib* entry = EntryAt(row);
    if (!entry) continue;
    if (!dll) dll = entry->Import.Dll;
    else if (*dll != entry->Import.Dll) sameDll = false;
  }
  DllEdit->setText(dll && sameDll ? AnsiToQString(*dll) : QString());
  DllEdit->setPlaceholderText(sameDll ? QStringLiteral("(d'après le nom du fichier)")
                                      : QStringLiteral("(plusieurs)"));
  RefuseName(DllEdit, DllEdit->text());
}

void TEditingPanel::MarkLength(const QString& why, bool refused) {
  LengthNote->setText(why);
  MarkField(Edit2, why, refused);
}

bool TEditingPanel::RefuseName(QLineEdit* box, const QString& name) {
  const bool refused = ControlCharacterAt(QStringToAnsi(name)) != std::string_view::npos;
  MarkField(box,
            refused ? QStringLiteral("Un nom ne peut contenir ni tabulation, ni saut de ligne, "
                                     "ni autre caractère de contrôle ; la liste n'est pas "
                                     "modifiée.")
                    : QString(),
            true);
  return refused;
}

template <typename Edit>
void TEditingPanel::EditEntries(const std::vector<int>& at, const QString& text, int mergeKey,
                                Edit change) {
  std::vector<std::uint32_t> changed;
  std::vector<TFonctionLib> before;
  std::vector<TFonctionLib> after;
  for (int row : at) {
    const TFonctionLib* entry = EntryAt(row);
    if (!entry) continue;
    TFonctionLib edited = *entry;
    if (!change(edited, static_cast<std::uint32_t>(row))) continue;
    changed.push_back(static_cast<std::uint32_t>(row));
    before.push_back(*entry);
    after.push_back(std::move(edited));
  }
  if (changed.empty()) return;
  editing_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{editing_};
  stack_.push(new TChangeCommand(model_, text, std::move(changed), std::move(before),
                                 std::move(after), mergeKey, session_));
}

void TEditingPanel::Add() {
  const int current = list_.currentRow();
  const auto p = static_cast<std::uint32_t>(current < 0 ? 0 : current);
  TStoredEntry entry;
  entry.Entry.Name.clear();
  entry.Entry.ArgLength = 0;
  entry.Entry.IsPascal = true;
  stack_.push(new TInsertCommand(model_, QStringLiteral("Ajouter"), {p}, {entry}));
  Edit1->setFocus();
}

void TEditingPanel::Remove() {
  std::vector<std::uint32_t> at;
  for (int row : list_.SelectedRows())
    if (EntryAt(row)) at.push_back(static_cast<std::uint32_t>(row));
  if (at.empty()) return;
  const QString text = at.size() == 1
                           ? QStringLiteral("Supprimer")
                           : QStringLiteral("Supprimer %1 fonctions").arg(at.size());
  stack_.push(new TRemoveCommand(model_, text, std::move(at)));
}

void TEditingPanel::NameChanged() {
  const int row = list_.currentRow();
  if (Current() && !RefuseName(Edit1, Edit1->text())) {
    const AnsiString name = QStringToAnsi(Edit1->text());
    EditEntries({row}, QStringLiteral("Renommer"), kMergeName,
                [&](TFonctionLib& entry, std::uint32_t at) {
                  return Rename(entry, name, model_.AsRead(at));
                });
  }
  RefreshLabels();
}

void TEditingPanel::LengthChanged() {
  std::int32_t value = 0;
  const std::string text = Edit2->text().trimmed().toStdString();
  if (!TryStrToInt(text, value)) {
    // Nothing changes until the field holds a number again.
    MarkLength(text.empty() ? QStringLiteral("Tapez un nombre")
                            : QStringLiteral("Pas un nombre entier"),
               true);
    return;
  }
  if (value < 0) MarkLength(QStringLiteral("Longueur négative"), false);
  else if (value > kArgLengthLikely)
    MarkLength(QStringLiteral("Plus de %1 octets ?").arg(kArgLengthLikely), false);
  else if (value % 4 != 0) MarkLength(QStringLiteral("Pas un multiple de 4"), false);
  else MarkLength({}, false);
  EditEntries(list_.SelectedRows(), QStringLiteral("Longueur"), kMergeLength,
              [&](TFonctionLib& entry, std::uint32_t) { return SetArgLength(entry, value); });
  RefreshLabels();
}

void TEditingPanel::ConventionChosen(bool isPascal) {
  EditEntries(list_.SelectedRows(), QStringLiteral("Convention"), -1,
              [&](TFonctionLib& entry, std::uint32_t) { return SetConvention(entry, isPascal); });
  RefreshLabels();
}

void TEditingPanel::ConfirmGuess() {
  // Each selected guess is settled as it stands.
  std::vector<int> guessed;
  for (int row : list_.SelectedRows())
    if (const TFonctionLib* entry = EntryAt(row); entry && entry->Unsure) guessed.push_back(row);
  EditEntries(guessed, QStringLiteral("Confirmer la convention"), -1,
              [](TFonctionLib& entry, std::uint32_t) {
                return SetConvention(entry, entry.IsPascal);
              });
}

bool TEditingPanel::SplitsDll(const std::vector<int>& rows, const AnsiString& dll) const {
  const std::optional<AnsiString> unnamed = SingleDll ? SingleDll() : std::nullopt;
  if (!unnamed) return false;
  std::vector<AnsiString> dlls;
  for (std::uint32_t i = 0; i < model_.Count(); ++i) dlls.push_back(model_.At(i).Import.Dll);
  for (int row : rows)
    if (EntryAt(row)) dlls[static_cast<std::uint32_t>(row)] = dll;
  return DistinctDlls(dlls, *unnamed).size() > 1;
}

void TEditingPanel::DllChanged() {
  heldDll_.reset();
  const QString typed = DllEdit->text().trimmed();
  if (RefuseName(DllEdit, typed)) return;
  const AnsiString dll = QStringToAnsi(typed);
  const std::vector<int> selected = list_.SelectedRows();
  if (SplitsDll(selected, dll)) {
    // Not taken yet: the user may be halfway through the name that all
    // the functions are to take.
    heldDll_ = dll;
    MarkField(DllEdit,
              QStringLiteral("Un fichier .def nomme une seule DLL : Entrée pour choisir si "
                             "toutes les fonctions la prennent"),
              false);
    return;
  }
  EditEntries(selected, QStringLiteral("DLL"), kMergeDll,
              [&](TFonctionLib& entry, std::uint32_t) {
                if (entry.Import.Dll == dll) return false;
                entry.Import.Dll = dll;
                return true;
              });
  RefreshLabels();
}

void TEditingPanel::SettleDll() {
  if (!heldDll_) return;
  // Taken first: the question takes the focus, and the box losing it
  // would settle again.
  const AnsiString dll = *std::exchange(heldDll_, std::nullopt);
  const std::optional<AnsiString> unnamed = SingleDll ? SingleDll() : std::nullopt;
  std::vector<int> all(model_.Count());
  std::iota(all.begin(), all.end(), 0);
  const QString question =
      QStringLiteral("Un fichier .def nomme une seule DLL. Donner la DLL « %1 » à toutes les %2 "
                     "fonctions ?")
          .arg(AnsiToQString(dll.empty() && unnamed ? *unnamed : dll))
          .arg(all.size());
  if (MessageBoxA(static_cast<QWidget*>(window()), question.toStdString(), "Une seule DLL",
                  kMbYesNo | kMbIconQuestion) == kIdYes)
    EditEntries(all, QStringLiteral("DLL"), -1, [&](TFonctionLib& entry, std::uint32_t) {
      if (entry.Import.Dll == dll) return false;
      entry.Import.Dll = dll;
      return true;
    });
  // The box shows the list's DLL: on "no", the one before the typing.
  ShowDll();
  RefreshLabels();
}

void TEditingPanel::KindChosen(int kind) {
  if (kind < 0) return;
  const auto chosen = static_cast<ImportKind>(kind);
  EditEntries(list_.SelectedRows(), QStringLiteral("Type d'import"), -1,
              [&](TFonctionLib& entry, std::uint32_t) {
                if (entry.Import.Kind == chosen) return false;
                entry.Import.Kind = chosen;
                return true;
              });
  RefreshLabels();
  ShowWhatApplies();
}

void TEditingPanel::ExportNameChanged() {
  const int row = list_.currentRow();
  if (!Current() || RefuseName(ExportEdit, ExportEdit->text())) return;
  const AnsiString name = QStringToAnsi(ExportEdit->text());
  EditEntries({row}, QStringLiteral("Nom exporté"), kMergeExport,
              [&](TFonctionLib& entry, std::uint32_t) {
                if (entry.Import.ExportName == name) return false;
                entry.Import.ExportName = name;
                return true;
              });
  RefreshLabels();
}

void TEditingPanel::OrdinalChanged() {
  const int row = list_.currentRow();
  if (!Current()) return;
  const bool byOrdinal = OrdinalCheck->isChecked();
  const bool noName = byOrdinal && NoNameCheck->isChecked();
  // An ordinal import needs a number: 0 is no ordinal, so take 1.
  if (byOrdinal && OrdinalSpin->value() == 0) {
    const QSignalBlocker quiet(OrdinalSpin);
    OrdinalSpin->setValue(1);
  }
  const auto ordinal = static_cast<std::uint16_t>(OrdinalSpin->value());
  EditEntries({row}, QStringLiteral("Ordinal"), kMergeOrdinal,
              [&](TFonctionLib& entry, std::uint32_t) {
                ImportBinding& b = entry.Import;
                if (b.ByOrdinal == byOrdinal && b.NoName == noName && b.Ordinal == ordinal)
                  return false;
                b.ByOrdinal = byOrdinal;
                b.NoName = noName;
                b.Ordinal = ordinal;
                return true;
              });
  RefreshLabels();
  ShowImport();
}
