#include "app/export_list_model.h"

#include <QBrush>
#include <QColor>
#include <QStringList>

#include <algorithm>
#include <new>

#include "app/demangle.h"
#include "model/decorated_names.h"
#include "model/form_losses.h"
#include "model/machine.h"
#include "platform/codepage.h"

namespace {

// Past this many separate rows, one reset costs the views less than a
// signal per row.
constexpr std::size_t kRowsBeforeReset = 64;

const QString kGuessedTip = QStringLiteral("Convention devinée : à vérifier");

// The runs of neighbouring indices among at (ascending), as first and last.
std::vector<std::pair<std::uint32_t, std::uint32_t>> Runs(const std::vector<std::uint32_t>& at) {
  std::vector<std::pair<std::uint32_t, std::uint32_t>> runs;
  for (std::uint32_t i : at) {
    if (!runs.empty() && runs.back().second + 1 == i) runs.back().second = i;
    else runs.emplace_back(i, i);
  }
  return runs;
}

}  // namespace

QString AnsiToQString(const AnsiString& text) { return QString::fromStdString(AnsiToUtf8(text)); }

AnsiString QStringToAnsi(const QString& text) { return Utf8ToAnsi(text.toStdString()); }

AnsiString LookupText(const TFonctionLib& entry, Machine machine) {
  const ImportBinding& import = entry.Import;
  if (import.ByOrdinal)
    return "@" + std::to_string(import.Ordinal) + (import.NoName ? " NONAME" : "");
  return LookupName(entry, machine);
}

bool SameEntry(const TFonctionLib& a, const TFonctionLib& b) {
  const ImportBinding& x = a.Import;
  const ImportBinding& y = b.Import;
  return a.Name == b.Name && a.ArgLength == b.ArgLength && a.IsPascal == b.IsPascal &&
         a.Unsure == b.Unsure && x.Dll == y.Dll && x.ExportName == y.ExportName &&
         x.ByOrdinal == y.ByOrdinal && x.NoName == y.NoName && x.Ordinal == y.Ordinal &&
         x.Kind == y.Kind && x.Symbol == y.Symbol && x.Private == y.Private &&
         x.ForwardTo == y.ForwardTo && x.View == y.View && x.Delayed == y.Delayed;
}

std::vector<AnsiString> DistinctDlls(const std::vector<AnsiString>& dlls,
                                     const AnsiString& unnamed) {
  const auto folded = [](AnsiString name) {
    for (char& c : name)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return name;
  };
  std::vector<AnsiString> named;
  bool someUnnamed = false;
  for (const AnsiString& dll : dlls) {
    if (dll.empty()) someUnnamed = true;
    else if (std::find(named.begin(), named.end(), dll) == named.end()) named.push_back(dll);
  }
  if (someUnnamed && std::none_of(named.begin(), named.end(), [&](const AnsiString& dll) {
        return folded(dll) == folded(unnamed);
      }))
    named.push_back(unnamed);
  return named;
}

QString KindText(ImportKind kind) {
  switch (kind) {
    case ImportKind::Code: return QStringLiteral("code");
    case ImportKind::Data: return QStringLiteral("données");
    case ImportKind::Const: return QStringLiteral("constante");
  }
  return {};
}

TExportListModel::TExportListModel(ExportList& list, QObject* parent)
    : QAbstractTableModel(parent), list_(list) {
  Reset();
}

int TExportListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(list_.Fonctions.Count);
}

int TExportListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant TExportListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal) return {};
  static const char* const kHeaders[kColumnCount] = {
      "Nom", "Convention", "Longueur", "Symbole Microsoft", "Symbole Borland",
      "Recherche", "Type", "DLL", "Déclaration C++", "Vue"};
  static const char* const kTips[kColumnCount] = {
      "Le nom de la fonction, sans décoration",
      "_pascal : la fonction dépile ses arguments ; _stdcall : l'appelant les dépile",
      "Longueur des arguments, en octets",
      "Le symbole que les outils Microsoft lient",
      "Le symbole que les outils Borland lient",
      "Ce que le chargeur demande à la DLL : le nom exporté, ou @ordinal",
      "Ce qu'importe le client : du code, des données ou une constante",
      "La DLL dont la fonction est importée",
      "Le nom C++ tel qu'on l'écrit",
      "Bibliothèque hybride (ARM64X) : les clients qui importent la fonction, ARM64, ARM64EC ou les deux"};
  if (section < 0 || section >= kColumnCount) return {};
  if (role == Qt::DisplayRole) return QString::fromUtf8(kHeaders[section]);
  if (role == Qt::ToolTipRole) return QString::fromUtf8(kTips[section]);
  return {};
}

AnsiString TExportListModel::MakeText(int column, const TFonctionLib& entry) const {
  const Machine machine = list_.SourceMachine;
  switch (column) {
    case kColumnName: return entry.Name;
    case kColumnConvention:
      if (!Decorates(machine)) return {};
      return entry.IsPascal ? "_pascal" : "_stdcall";
    case kColumnLength: return Decorates(machine) ? IntToStr(entry.ArgLength) : AnsiString();
    case kColumnMicrosoft: return MicrosoftName(entry, machine);
    case kColumnBorland: return BorlandName(entry, machine);
    case kColumnLookup: return LookupText(entry, machine);
    case kColumnKind:
      // A delay-loaded function's DLL is loaded at its first call.
      return QStringToAnsi(KindText(entry.Import.Kind) +
                           (entry.Import.Delayed ? QStringLiteral(", différé") : QString()));
    case kColumnDll: return entry.Import.Dll;
    case kColumnView:
      if (machine != Machine::Arm64x) return {};
      switch (entry.Import.View) {
        case HybridView::Arm64: return "ARM64";
        case HybridView::Arm64ec: return "ARM64EC";
        case HybridView::Both: break;
      }
      return QStringToAnsi(QStringLiteral("les deux"));
    case kColumnDeclaration: {
      // The name itself when it is one, else the symbol a library carries.
      std::string text = Demangle(entry.Name);
      if (text.empty() && !entry.Import.Symbol.empty()) text = Demangle(entry.Import.Symbol);
      return Utf8ToAnsi(text);
    }
  }
  return {};
}

const AnsiString& TExportListModel::Text(int column, std::uint32_t entry) const {
  auto& texts = texts_[static_cast<std::size_t>(column)];
  if (texts.size() != list_.Fonctions.Count) {
    texts.resize(list_.Fonctions.Count);
    for (std::uint32_t i = 0; i < list_.Fonctions.Count; ++i)
      texts[i] = MakeText(column, list_.Fonctions.Data[i]);
  }
  return texts[entry];
}

void TExportListModel::ForgetTexts() const {
  texts_.assign(kColumnCount, {});
}

QVariant TExportListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const std::uint32_t entry = static_cast<std::uint32_t>(index.row());
  const TFonctionLib& item = At(entry);
  const auto problem = problems_.find(entry);
  // A length the user set against the one the DLL's export name spells:
  // the client and the function would not agree on the stack.
  std::int32_t spelled = 0;
  const bool disagrees = LengthDisagrees(item, spelled);
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: return AnsiToQString(Text(index.column(), entry));
    case Qt::TextAlignmentRole:
      return index.column() == kColumnLength ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter))
                                             : QVariant();
    case kMarkRole: {
      if (index.column() != kColumnName) return {};
      QStringList marks;
      if (problem != problems_.end()) marks << QStringLiteral("✗ vérif.");
      if (item.Unsure) marks << QStringLiteral("? devinée");
      if (disagrees) marks << QStringLiteral("! longueur");
      return marks.join(QStringLiteral("  "));
    }
    case kGuessedRole: return item.Unsure;
    case Qt::ToolTipRole: {
      QStringList tips;
      if (problem != problems_.end()) tips << problem->second;
      if (disagrees)
        tips << QStringLiteral("Longueur %1 : le nom exporté %2 dit %3 octets")
                    .arg(item.ArgLength)
                    .arg(AnsiToQString(item.Import.ExportName))
                    .arg(spelled);
      if (item.Unsure) tips << kGuessedTip;
      if (tips.isEmpty()) {
        // A cell too narrow for its text shows it whole in its tip.
        if (index.column() == kColumnName) return {};
        const QString text = AnsiToQString(Text(index.column(), entry));
        return text.isEmpty() ? QVariant() : QVariant(text);
      }
      return tips.join(QLatin1Char('\n'));
    }
    case Qt::AccessibleDescriptionRole:
      return item.Unsure ? QVariant(QStringLiteral("convention devinée")) : QVariant();
    case Qt::ForegroundRole:
      if (problem != problems_.end()) return QBrush(QColor(0xC0, 0x00, 0x00));
      return item.Unsure ? QVariant(QBrush(QColor(0xB0, 0x30, 0x00))) : QVariant();
    default: return {};
  }
}

void TExportListModel::Reset() {
  beginResetModel();
  problems_.clear();
  ForgetTexts();
  const std::uint32_t count = list_.Fonctions.Count;
  read_.assign(list_.Fonctions.Data, list_.Fonctions.Data + count);
  origin_.resize(count);
  for (std::uint32_t i = 0; i < count; ++i) origin_[i] = static_cast<std::int32_t>(i);
  pinned_.assign(count, 0);
  endResetModel();
}

void TExportListModel::Edited(TEditKind kind, const std::vector<std::uint32_t>& at) {
  if (OnEdited) OnEdited(kind, at);
}

void TExportListModel::Insert(const std::vector<std::uint32_t>& at,
                              const std::vector<TStoredEntry>& entries) {
  if (at.empty()) return;
  problems_.clear();  // the entries move: the marks would fall on others
  ForgetTexts();
  TTableau<TFonctionLib>& list = list_.Fonctions;
  if (at.size() <= kRowsBeforeReset) {
    // One entry at a time, each announced at its row.
    for (std::size_t k = 0; k < at.size(); ++k) {
      const int row = static_cast<int>(at[k]);
      beginInsertRows(QModelIndex(), row, row);
      list.Insert(at[k], entries[k].Entry);
      origin_.insert(origin_.begin() + row, entries[k].Origin);
      pinned_.insert(pinned_.begin() + row, 1);
      endInsertRows();
    }
    Edited(TEditKind::Insert, at);
    return;
  }
  beginResetModel();
  const std::uint32_t oldCount = list.Count;
  const std::uint32_t newCount = oldCount + static_cast<std::uint32_t>(at.size());
  if (list.Reserve(newCount) != 0) throw std::bad_alloc();
  list.Item(newCount - 1);  // Count raised
  // Merged from the end, so that every old entry moves once; below the
  // first new one nothing moves.
  std::size_t k = at.size();
  std::uint32_t from = oldCount;
  for (std::uint32_t i = newCount; k > 0 && i-- > 0;) {
    if (at[k - 1] == i) list.Data[i] = entries[--k].Entry;
    else list.Data[i] = std::move(list.Data[--from]);
  }
  std::vector<std::int32_t> origin;
  std::vector<std::uint8_t> pinned;
  origin.reserve(newCount);
  pinned.reserve(newCount);
  std::size_t next = 0;
  std::uint32_t old = 0;
  for (std::uint32_t i = 0; i < newCount; ++i) {
    if (next < at.size() && at[next] == i) {
      origin.push_back(entries[next++].Origin);
      pinned.push_back(1);
    } else {
      origin.push_back(origin_[old]);
      pinned.push_back(pinned_[old++]);
    }
  }
  origin_ = std::move(origin);
  pinned_ = std::move(pinned);
  endResetModel();
  Edited(TEditKind::Insert, at);
}

std::vector<TStoredEntry> TExportListModel::Stored(const std::vector<std::uint32_t>& at) const {
  std::vector<TStoredEntry> stored;
  stored.reserve(at.size());
  for (std::uint32_t i : at) stored.push_back({At(i), origin_[i]});
  return stored;
}

std::vector<TStoredEntry> TExportListModel::Remove(const std::vector<std::uint32_t>& at) {
  std::vector<TStoredEntry> removed = Stored(at);
  if (at.empty()) return removed;
  problems_.clear();  // the entries move: the marks would fall on others
  ForgetTexts();
  TTableau<TFonctionLib>& list = list_.Fonctions;
  const auto runs = Runs(at);
  const bool reset = runs.size() > kRowsBeforeReset;
  if (reset) beginResetModel();
  // Every kept entry moves once, whatever the number of runs.
  auto compact = [&](std::uint32_t first, const std::vector<std::uint32_t>& gone) {
    auto next = gone.begin();
    std::uint32_t kept = first;
    for (std::uint32_t i = first; i < list.Count; ++i) {
      if (next != gone.end() && *next == i) {
        ++next;
        continue;
      }
      if (kept != i) {
        list.Data[kept] = std::move(list.Data[i]);
        origin_[kept] = origin_[i];
        pinned_[kept] = pinned_[i];
      }
      ++kept;
    }
    while (list.Count > kept) list.RemoveAt(list.Count - 1);
    origin_.resize(kept);
    pinned_.resize(kept);
  };
  if (reset) {
    compact(at.front(), at);
    endResetModel();
  } else {
    for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
      beginRemoveRows(QModelIndex(), static_cast<int>(run->first), static_cast<int>(run->second));
      std::vector<std::uint32_t> gone;
      for (std::uint32_t i = run->first; i <= run->second; ++i) gone.push_back(i);
      compact(run->first, gone);
      endRemoveRows();
    }
  }
  Edited(TEditKind::Remove, at);
  return removed;
}

void TExportListModel::Change(const std::vector<std::uint32_t>& at,
                              const std::vector<TFonctionLib>& entries) {
  for (std::size_t k = 0; k < at.size(); ++k) {
    const std::uint32_t i = at[k];
    list_.Fonctions.Data[i] = entries[k];
    pinned_[i] = 1;
    for (int column = 0; column < kColumnCount; ++column) {
      auto& texts = texts_[static_cast<std::size_t>(column)];
      if (texts.size() == list_.Fonctions.Count) texts[i] = MakeText(column, entries[k]);
    }
  }
  if (at.size() > kRowsBeforeReset) {
    emit dataChanged(index(static_cast<int>(at.front()), 0),
                     index(static_cast<int>(at.back()), kColumnCount - 1));
  } else {
    for (std::uint32_t i : at)
      emit dataChanged(index(static_cast<int>(i), 0), index(static_cast<int>(i), kColumnCount - 1));
  }
  Edited(TEditKind::Change, at);
}

void TExportListModel::SetMachine(Machine machine, const std::vector<std::uint32_t>& at,
                                  const std::vector<TFonctionLib>& entries) {
  list_.SourceMachine = machine;
  for (std::size_t k = 0; k < at.size(); ++k) list_.Fonctions.Data[at[k]] = entries[k];
  // Every symbol depends on the machine.
  ForgetTexts();
  if (Count() > 0)
    emit dataChanged(index(0, 0), index(static_cast<int>(Count()) - 1, kColumnCount - 1));
  Edited(TEditKind::Machine, at);
}

const TFonctionLib* TExportListModel::AsRead(std::uint32_t entry) const {
  if (entry >= origin_.size() || origin_[entry] < 0) return nullptr;
  return &read_[static_cast<std::size_t>(origin_[entry])];
}

void TExportListModel::Unpin() { std::fill(pinned_.begin(), pinned_.end(), 0); }

void TExportListModel::SetProblems(std::unordered_map<std::uint32_t, QString> problems) {
  problems_ = std::move(problems);
  if (Count() > 0) emit dataChanged(index(0, 0), index(static_cast<int>(Count()) - 1, 0));
}

std::uint32_t TExportListModel::GuessedCount() const {
  std::uint32_t guessed = 0;
  for (std::uint32_t i = 0; i < Count(); ++i) guessed += At(i).Unsure ? 1 : 0;
  return guessed;
}
