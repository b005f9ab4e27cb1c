#include "app/export_list_model.h"

#include <QStringList>

#include "model/form_losses.h"

#include <QBrush>
#include <QColor>

#include <algorithm>

#include "app/unit1.h"

namespace {

// Past this many separate runs of lines, one reset costs the view less
// than a signal per run.
constexpr std::size_t kRunsBeforeReset = 64;

const QString kGuessedTip = QStringLiteral("Convention devinée : à vérifier");

// The runs of neighbouring rows among rows (ascending), as first and last.
std::vector<std::pair<int, int>> Runs(const std::vector<int>& rows) {
  std::vector<std::pair<int, int>> runs;
  for (int row : rows) {
    if (!runs.empty() && runs.back().second + 1 == row) runs.back().second = row;
    else runs.emplace_back(row, row);
  }
  return runs;
}

}  // namespace

TExportListModel::TExportListModel(TTableau<TFonctionLib>& list, QObject* parent)
    : QAbstractListModel(parent), list_(list) {
  Refill();
}

int TExportListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

QVariant TExportListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const std::uint32_t entry = EntryOf(index.row());
  if (entry >= list_.Count) return {};
  const TFonctionLib& item = list_.Data[entry];
  if (const auto problem = problems_.find(entry); problem != problems_.end()) {
    if (role == Qt::ToolTipRole) return problem->second;
    if (role == Qt::ForegroundRole) return QBrush(QColor(0xC0, 0x00, 0x00));
  }
  // A length the user set against the one the DLL's export name spells:
  // the client and the function would not agree on the stack.
  std::int32_t spelled = 0;
  const bool disagrees = LengthDisagrees(item, spelled);
  if (role == kMarkRole) {
    QStringList marks;
    if (item.Unsure) marks << QStringLiteral("? devinée");
    if (disagrees) marks << QStringLiteral("! longueur");
    return marks.join(QStringLiteral("  "));
  }
  if (disagrees && role == Qt::ToolTipRole)
    return QStringLiteral("Longueur %1 : le nom exporté %2 dit %3 octets")
        .arg(item.ArgLength)
        .arg(AnsiToQString(item.Import.ExportName))
        .arg(spelled);
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: return AnsiToQString(item.Name);
    case Qt::ToolTipRole: return item.Unsure ? QVariant(kGuessedTip) : QVariant();
    case Qt::AccessibleDescriptionRole:
      return item.Unsure ? QVariant(QStringLiteral("convention devinée")) : QVariant();
    case Qt::ForegroundRole:
      return item.Unsure ? QVariant(QBrush(QColor(0xB0, 0x30, 0x00))) : QVariant();
    case kGuessedRole: return item.Unsure;
    default: return {};
  }
}

int TExportListModel::RowOf(std::uint32_t entry) const {
  const auto it = std::lower_bound(shown_.begin(), shown_.end(), entry);
  return it != shown_.end() && *it == entry ? static_cast<int>(it - shown_.begin()) : -1;
}

bool TExportListModel::Matches(const TFonctionLib& entry) const {
  return filter_.isEmpty() || AnsiToQString(entry.Name).contains(filter_, Qt::CaseInsensitive);
}

void TExportListModel::SetProblems(std::unordered_map<std::uint32_t, QString> problems) {
  problems_ = std::move(problems);
  if (!shown_.empty()) emit dataChanged(index(0), index(rowCount() - 1));
}

void TExportListModel::Refill() {
  problems_.clear();
  beginResetModel();
  shown_.clear();
  shown_.reserve(list_.Count);
  for (std::uint32_t i = 0; i < list_.Count; ++i)
    if (Matches(list_.Data[i])) shown_.push_back(i);
  endResetModel();
}

void TExportListModel::SetFilter(const QString& text) {
  if (text == filter_) return;
  filter_ = text;
  // The same list through another filter: the marks still hold.
  auto problems = std::move(problems_);
  Refill();
  problems_ = std::move(problems);
}

void TExportListModel::Insert(const std::vector<std::uint32_t>& at,
                              const std::vector<TFonctionLib>& entries) {
  if (at.empty()) return;
  problems_.clear();  // the entries move: the marks would fall on others
  // The list with the new entries merged in at their final places; every
  // old entry moves once.
  const std::uint32_t oldCount = list_.Count;
  const std::uint32_t newCount = oldCount + static_cast<std::uint32_t>(at.size());
  const bool reset = at.size() > kRunsBeforeReset;
  if (reset) beginResetModel();
  if (!reset) {
    // One entry at a time, each announced at its row.
    for (std::size_t k = 0; k < at.size(); ++k) {
      const std::uint32_t index = at[k];
      const auto place = std::lower_bound(shown_.begin(), shown_.end(), index);
      const int row = static_cast<int>(place - shown_.begin());
      beginInsertRows(QModelIndex(), row, row);
      list_.Insert(index, entries[k]);
      for (auto it = place; it != shown_.end(); ++it) ++*it;
      shown_.insert(shown_.begin() + row, index);
      endInsertRows();
    }
    return;
  }
  list_.Item(newCount - 1);  // room for all, Count raised
  std::size_t k = at.size();
  std::uint32_t from = oldCount;
  for (std::uint32_t i = newCount; i-- > 0;) {
    if (k > 0 && at[k - 1] == i) list_.Data[i] = entries[--k];
    else list_.Data[i] = std::move(list_.Data[--from]);
  }
  // The old shown entries renumbered, and the new ones shown.
  std::vector<std::uint32_t> shown;
  shown.reserve(shown_.size() + at.size());
  std::size_t next = 0;
  auto old = shown_.begin();
  std::uint32_t added = 0;
  for (std::uint32_t i = 0; i < newCount; ++i) {
    if (next < at.size() && at[next] == i) {
      shown.push_back(i);
      ++next;
      ++added;
      continue;
    }
    // Entry i of the new list was entry i - added of the old one.
    if (old != shown_.end() && *old == i - added) {
      shown.push_back(i);
      ++old;
    }
  }
  shown_ = std::move(shown);
  endResetModel();
}

void TExportListModel::Remove(const std::vector<std::uint32_t>& at) {
  if (at.empty()) return;
  problems_.clear();  // the entries move: the marks would fall on others
  std::vector<int> rows;
  for (std::uint32_t entry : at)
    if (const int row = RowOf(entry); row >= 0) rows.push_back(row);
  const auto runs = Runs(rows);
  const bool reset = runs.size() > kRunsBeforeReset;
  if (reset) beginResetModel();
  for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
    if (!reset) beginRemoveRows(QModelIndex(), run->first, run->second);
    shown_.erase(shown_.begin() + run->first, shown_.begin() + run->second + 1);
    if (!reset) endRemoveRows();
  }
  // Every kept entry moves once, then the list is cut from its end: one
  // removal at a time would move the whole rest of a long list each time.
  auto next = at.begin();
  std::uint32_t kept = *next;
  for (std::uint32_t i = kept; i < list_.Count; ++i) {
    if (next != at.end() && *next == i) {
      ++next;
      continue;
    }
    list_.Data[kept++] = std::move(list_.Data[i]);
  }
  while (list_.Count > kept) list_.RemoveAt(list_.Count - 1);
  // The rows keep their entries, whose indices went down by the number
  // of removed entries before them.
  auto removed = at.begin();
  for (std::uint32_t& entry : shown_) {
    while (removed != at.end() && *removed < entry) ++removed;
    entry -= static_cast<std::uint32_t>(removed - at.begin());
  }
  if (reset) endResetModel();
}

void TExportListModel::Changed(std::uint32_t entry) {
  const int row = RowOf(entry);
  if (row < 0) return;
  const QModelIndex index = this->index(row);
  emit dataChanged(index, index);
}

std::uint32_t TExportListModel::GuessedCount() const {
  std::uint32_t guessed = 0;
  for (std::uint32_t i = 0; i < list_.Count; ++i) guessed += list_.Data[i].Unsure ? 1 : 0;
  return guessed;
}

int TExportListModel::NearestShown(std::uint32_t entry) const {
  if (shown_.empty()) return -1;
  const auto it = std::lower_bound(shown_.begin(), shown_.end(), entry);
  return static_cast<int>(it != shown_.end() ? *it : shown_.back());
}
