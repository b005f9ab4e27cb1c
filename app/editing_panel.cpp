// The editing panel: the selection display, "Ajouter", "Supprimer", and
// the changes of name, convention and argument length; each edit is one
// step of the undo stack, carried out through the list model. Also the
// filter, the status line and the guessed conventions.
#include <QLabel>
#include <QLocale>
#include <QStatusBar>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QUndoStack>

#include <optional>

#include "app/export_list_model.h"
#include "app/list_box.h"
#include "app/unit1.h"
#include "model/entry_edits.h"
#include "model/machine.h"

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

// A line past the end of the list has no entry. The guard stays because
// asking the list for such an entry would grow it with whatever its spare
// slots hold.
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
  NewEditSession();
  {
    FlagScope filling(Filling);
    const std::vector<int> selected = ListBox1->SelectedRows();
    TFonctionLib* current = CurrentEntry();
    if (selected.size() == 1 && current) {
      Edit1->setText(AnsiToQString(current->Name));
      Edit2->setText(DecimalText(current->ArgLength));
      ShowConvention(current->IsPascal);
      RefreshLabels();
    } else {
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
  }
  ShowGuess();
  UpdateStatus();
}

template <typename Edit>
void TForm1::EditEntries(const std::vector<int>& at, const QString& text, int mergeKey,
                         Edit change) {
  std::vector<std::uint32_t> changed;
  std::vector<TFonctionLib> before;
  std::vector<TFonctionLib> after;
  for (int row : at) {
    const TFonctionLib* entry = EntryAt(row);
    if (!entry) continue;
    TFonctionLib edited = *entry;
    if (!change(edited)) continue;
    changed.push_back(static_cast<std::uint32_t>(row));
    before.push_back(*entry);
    after.push_back(std::move(edited));
  }
  if (changed.empty()) return;
  FlagScope panel(panelEdit_);
  UndoStack->push(new TListEdit(*this, TEditKind::Change, text, std::move(changed),
                                std::move(before), std::move(after), mergeKey, editSession_));
}

void TForm1::ApplyListEdit(TEditKind kind, const std::vector<std::uint32_t>& at,
                           const std::vector<TFonctionLib>& entries) {
  switch (kind) {
    case TEditKind::Change:
      for (std::size_t k = 0; k < at.size(); ++k) {
        Fonctions().Item(at[k]) = entries[k];
        ListModel->Changed(at[k]);
      }
      break;
    case TEditKind::Insert: ListModel->Insert(at, entries); break;
    case TEditKind::Remove: ListModel->Remove(at); break;
  }
  if (panelEdit_) {
    // The panel shows the edit already; only what follows from it changes.
    RefreshLabels();
    ShowGuess();
    UpdateStatus();
    return;
  }
  // An edit from the buttons or the undo stack: the lines it touched are
  // selected, or after a removal the line that took their place.
  if (kind == TEditKind::Remove) {
    const int next = ListModel->NearestShown(at.front());
    ListBox1->setCurrentRow(next);
  } else {
    std::vector<int> rows(at.begin(), at.end());
    ListBox1->SelectEntries(rows, rows.front());
  }
  ListBox1Click();
}

void TForm1::Button1Click() {
  const int current = ListBox1->currentRow();
  const int p = current < 0 ? 0 : current;
  TFonctionLib entry;
  entry.Name.clear();
  entry.ArgLength = 0;
  entry.IsPascal = true;
  UndoStack->push(new TListEdit(*this, TEditKind::Insert, QStringLiteral("Ajouter"),
                                {static_cast<std::uint32_t>(p)}, {}, {entry}, -1, editSession_));
  Edit1->setFocus();
}

void TForm1::Button2Click() {
  const std::vector<int> selected = ListBox1->SelectedRows();
  std::vector<std::uint32_t> at;
  std::vector<TFonctionLib> before;
  for (int row : selected)
    if (const TFonctionLib* entry = EntryAt(row)) {
      at.push_back(static_cast<std::uint32_t>(row));
      before.push_back(*entry);
    }
  if (at.empty()) return;
  UndoStack->push(new TListEdit(*this, TEditKind::Remove, QStringLiteral("Supprimer"),
                                std::move(at), std::move(before), {}, -1, editSession_));
}

namespace {

// Keys typed into one field for the same entries make one undo step.
enum MergeKey { kMergeName = 1, kMergeLength = 2 };

}  // namespace

void TForm1::Edit1Change() {
  if (Filling) return;
  const int row = ListBox1->currentRow();
  if (CurrentEntry()) {
    const AnsiString name = QStringToAnsi(Edit1->text());
    EditEntries({row}, QStringLiteral("Renommer"), kMergeName,
                [&](TFonctionLib& entry) { return Rename(entry, name); });
  }
  RefreshLabels();
}

void TForm1::Edit2Change() {
  if (Filling) return;
  const std::int32_t value = StrToInt(Edit2->text().toStdString());
  EditEntries(ListBox1->SelectedRows(), QStringLiteral("Longueur"), kMergeLength,
              [&](TFonctionLib& entry) { return SetArgLength(entry, value); });
  RefreshLabels();
}

void TForm1::SetConventionOfSelection(bool isPascal) {
  EditEntries(ListBox1->SelectedRows(), QStringLiteral("Convention"), -1,
              [&](TFonctionLib& entry) { return SetConvention(entry, isPascal); });
  RefreshLabels();
}

void TForm1::RadioButton1Click() { SetConventionOfSelection(true); }

void TForm1::RadioButton2Click() { SetConventionOfSelection(false); }

void TForm1::Button3Click() { ConfirmerConvention1Click(); }

void TForm1::ConfirmerConvention1Click() {
  // Each selected guess is settled as it stands.
  std::vector<int> guessed;
  for (int row : ListBox1->SelectedRows())
    if (const TFonctionLib* entry = EntryAt(row); entry && entry->Unsure) guessed.push_back(row);
  EditEntries(guessed, QStringLiteral("Confirmer la convention"), -1, [](TFonctionLib& entry) {
    return SetConvention(entry, entry.IsPascal);
  });
}

void TForm1::DevineeSuivante1Click() {
  const std::uint32_t count = Fonctions().Count;
  if (count == 0) return;
  const int current = ListBox1->currentRow();
  // From the line after the current one, round to the top.
  for (std::uint32_t step = 1; step <= count; ++step) {
    const std::uint32_t i = (static_cast<std::uint32_t>(current < 0 ? -1 : current) + step) % count;
    if (Fonctions().Item(i).Unsure && ListModel->RowOf(i) >= 0) {
      ListBox1->setCurrentRow(static_cast<int>(i));
      ListBox1Click();
      return;
    }
  }
  StatusBar1->showMessage(QStringLiteral("Aucune convention devinée à vérifier."), 4000);
}

void TForm1::ShowGuess() {
  const TFonctionLib* current = CurrentEntry();
  bool guessed = false;
  for (int row : ListBox1->SelectedRows())
    if (const TFonctionLib* entry = EntryAt(row); entry && entry->Unsure) guessed = true;
  // Off 32-bit Intel there is no convention to guess.
  const bool decorates = Decorates(FichierLib.SourceMachine);
  guessed = guessed && decorates;
  Label9->setVisible(decorates && current && current->Unsure);
  Button3->setVisible(guessed);
  ConfirmerConvention1->setEnabled(guessed);
}

void TForm1::Edit3Change() {
  // The selected entries that stay shown stay selected.
  const std::vector<int> selected = ListBox1->SelectedRows();
  const int current = ListBox1->currentRow();
  ListModel->SetFilter(Edit3->text());
  ListBox1->SelectEntries(selected, current);
  ListBox1Click();
}

void TForm1::Rechercher1Click() {
  Edit3->setFocus();
  Edit3->selectAll();
}

void TForm1::Annuler1Click() {
  if (UndoStack->canUndo()) UndoStack->undo();
}

void TForm1::Retablir1Click() {
  if (UndoStack->canRedo()) UndoStack->redo();
}

namespace {

// "0 fonction", "1 fonction", "2 fonctions": French counts zero as one.
QString French(std::uint64_t n, const char* singular, const char* plural) {
  return QLocale(QLocale::French).toString(static_cast<qulonglong>(n)) + QLatin1Char(' ') +
         QString::fromUtf8(n <= 1 ? singular : plural);
}

}  // namespace

void TForm1::UpdateStatus() {
  const std::uint32_t count = Fonctions().Count;
  QStringList parts;
  if (ListModel->Filtered())
    parts << French(static_cast<std::uint64_t>(ListBox1->count()), "affichée", "affichées") +
                 QStringLiteral(" sur ") + French(count, "fonction", "fonctions");
  else
    parts << French(count, "fonction", "fonctions");
  parts << French(ListBox1->SelectedRows().size(), "sélectionnée", "sélectionnées");
  parts << French(ListModel->GuessedCount(), "devinée", "devinées");
  StatusLabel->setText(parts.join(QStringLiteral(", ")));
}

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
