// The editing panel: the selection display, "Ajouter", "Supprimer", and
// the changes of name, convention and argument length. Line i of the list
// box stands for entry i of the list (EntryAt says when a line has none).
#include <QBrush>
#include <QColor>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include <optional>

#include "app/list_box.h"
#include "app/unit1.h"
#include "model/entry_edits.h"

namespace {

// Sets a flag for the span of a scope, and clears it however the scope is
// left: a flag left set would silence the panel's edits for good.
class FlagScope {
 public:
  explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~FlagScope() { flag_ = false; }
  FlagScope(const FlagScope&) = delete;
  FlagScope& operator=(const FlagScope&) = delete;

 private:
  bool& flag_;
};

QString DecimalText(std::int32_t value) { return QString::fromStdString(IntToStr(value)); }

// Removes the entries at rows (ascending) and keeps the others in order:
// the list that removing each of them, from the last up, would leave. One
// removal at a time moves the whole rest of the list each time, which for
// the first half of a long list takes seconds; here every kept entry moves
// once and the list is then shortened from its end.
void RemoveEntries(TTableau<TFonctionLib>& list, const std::vector<int>& rows) {
  if (rows.empty()) return;
  auto next = rows.begin();
  std::uint32_t kept = static_cast<std::uint32_t>(*next);
  for (std::uint32_t i = kept; i < list.Count; ++i) {
    if (next != rows.end() && static_cast<std::uint32_t>(*next) == i) {
      ++next;
      continue;
    }
    list.Item(kept++) = list.Item(i);
  }
  while (list.Count > kept) list.RemoveAt(list.Count - 1);
}

// How the entry is imported: by which name or ordinal, what it holds, from
// which DLL.
QString ImportText(const TFonctionLib& entry, std::uint16_t machine) {
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

// A line past the end of the list has no entry. Open now takes a list only
// when it was read whole, so lines and entries keep in step; the guard
// stays because asking the list for such an entry would grow it with
// whatever its spare slots hold.
TFonctionLib* TForm1::EntryAt(int row) {
  if (row < 0 || static_cast<std::uint32_t>(row) >= Fonctions().Count) return nullptr;
  return &Fonctions().Item(static_cast<std::uint32_t>(row));
}

TFonctionLib* TForm1::CurrentEntry() { return EntryAt(ListBox1->currentRow()); }

void TForm1::ShowConvention(bool isPascal) {
  // Checking one button of the group unchecks the other.
  (isPascal ? RadioButton1 : RadioButton2)->setChecked(true);
}

void TForm1::UncheckConventions() {
  // Buttons of one group keep one of them checked unless told otherwise.
  for (QRadioButton* button : {RadioButton1, RadioButton2}) {
    button->setAutoExclusive(false);
    button->setChecked(false);
    button->setAutoExclusive(true);
  }
}

void TForm1::ListBox1Click() {
  FlagScope filling(Filling);
  const std::vector<int> selected = ListBox1->SelectedRows();
  TFonctionLib* current = CurrentEntry();
  if (selected.size() == 1 && current) {
    Edit1->setText(AnsiToQString(current->Name));
    Edit2->setText(DecimalText(current->ArgLength));
    ShowConvention(current->IsPascal);
    RefreshLabels();
    return;
  }
  Edit1->setText(QString());
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
  Label4->setText(QString());
  Label6->setText(QString());
  Label8->setText(QString());
}

void TForm1::Button1Click() {
  const int current = ListBox1->currentRow();
  const int p = current < 0 ? 0 : current;
  TFonctionLib entry;
  entry.Name.clear();
  entry.ArgLength = 0;
  entry.IsPascal = true;
  ListBox1->insertItem(p, QString());
  Fonctions().Insert(static_cast<std::uint32_t>(p), entry);
  Modified = true;
  ListBox1->setCurrentRow(p, QItemSelectionModel::ClearAndSelect);
  ListBox1Click();
  Edit1->setFocus();
}

void TForm1::Button2Click() {
  const std::vector<int> selected = ListBox1->SelectedRows();
  // Lines go a run of neighbours at a time, from the last run up, so that
  // the lower indices stay valid.
  for (std::size_t end = selected.size(); end > 0;) {
    std::size_t first = end - 1;
    while (first > 0 && selected[first - 1] == selected[first] - 1) --first;
    ListBox1->model()->removeRows(selected[first], static_cast<int>(end - first));
    end = first;
  }
  RemoveEntries(Fonctions(), selected);
  if (!selected.empty()) Modified = true;
}

void TForm1::Edit1Change() {
  if (Filling) return;
  const int row = ListBox1->currentRow();
  TFonctionLib* current = CurrentEntry();
  if (current) {
    const AnsiString name = QStringToAnsi(Edit1->text());
    // The line shows what the entry holds: a character the code page
    // cannot hold shows as the "?" it became.
    ListBox1->item(row)->setText(AnsiToQString(name));
    if (Rename(*current, name)) Modified = true;
  }
  RefreshLabels();
}

void TForm1::Edit2Change() {
  if (Filling) return;
  const std::int32_t value = StrToInt(Edit2->text().toStdString());
  for (int row : ListBox1->SelectedRows())
    if (TFonctionLib* entry = EntryAt(row))
      if (SetArgLength(*entry, value)) Modified = true;
  RefreshLabels();
}

void TForm1::SetConventionOfSelection(bool isPascal) {
  for (int row : ListBox1->SelectedRows())
    if (TFonctionLib* entry = EntryAt(row))
      if (SetConvention(*entry, isPascal)) {
        Modified = true;
        MarkLine(row);
      }
  RefreshLabels();
}

void TForm1::RadioButton1Click() { SetConventionOfSelection(true); }

void TForm1::RadioButton2Click() { SetConventionOfSelection(false); }

void TForm1::RefreshLabels() {
  const TFonctionLib* current = CurrentEntry();
  // Off 32-bit Intel both toolchains link against the plain symbol.
  const std::uint16_t machine = FichierLib.SourceMachine;
  Label4->setText(current ? AnsiToQString(MicrosoftName(*current, machine)) : QString());
  Label6->setText(current ? AnsiToQString(BorlandName(*current, machine)) : QString());
  const QString import = current ? ImportText(*current, machine) : QString();
  Label8->setText(import);
  Label8->setToolTip(import);  // the whole of a line too long for the box
}

void TForm1::MarkLine(int row) {
  const TFonctionLib* entry = EntryAt(row);
  QListWidgetItem* item = ListBox1->item(row);
  if (!entry || !item) return;
  // The line's text stays the entry's name: colour and tip tell the guess.
  if (entry->Unsure) {
    item->setForeground(QBrush(QColor(0xB0, 0x30, 0x00)));
    item->setToolTip(QStringLiteral("Convention devinée : à vérifier"));
  } else {
    item->setData(Qt::ForegroundRole, QVariant());
    item->setToolTip(QString());
  }
}
