// The export list as the list box shows it: one line per entry, in list
// order, narrowed to the names that contain a filter text. Every change of
// the list the window makes goes through here, so that the lines and the
// entries cannot come apart.
//
// Rows are the lines shown; entries are indices into the list. Without a
// filter they are the same numbers.
#pragma once

#include <QAbstractListModel>
#include <QString>

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "model/fonction_lib.h"
#include "model/tableau.h"

// True for a line whose convention was guessed.
inline constexpr int kGuessedRole = Qt::UserRole + 1;
// The written marks at the right end of a line: a guessed convention, a
// length that contradicts the one the export name spells. Empty for none.
inline constexpr int kMarkRole = Qt::UserRole + 2;

class TExportListModel : public QAbstractListModel {
 public:
  TExportListModel(TTableau<TFonctionLib>& list, QObject* parent);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

  std::uint32_t EntryOf(int row) const { return shown_[static_cast<std::size_t>(row)]; }
  // The row of an entry, -1 when the filter hides it.
  int RowOf(std::uint32_t entry) const;
  TTableau<TFonctionLib>& List() { return list_; }

  // The list was replaced as a whole: all its lines are shown again
  // through the filter.
  void Refill();
  // Shows only the entries whose name contains text, letter case aside;
  // an empty text shows them all.
  void SetFilter(const QString& text);
  const QString& Filter() const { return filter_; }
  bool Filtered() const { return !filter_.isEmpty(); }

  // Puts entries at the given final indices (ascending), each shown even
  // when the filter would hide it: a line the user adds or brings back
  // must not vanish under the user's eyes.
  void Insert(const std::vector<std::uint32_t>& at, const std::vector<TFonctionLib>& entries);
  // Removes the entries at the given indices (ascending).
  void Remove(const std::vector<std::uint32_t>& at);
  // An entry changed in place; its line stays where it is.
  void Changed(std::uint32_t entry);

  // Marks entries a check found wrong, each with what is wrong; the marks
  // go with the next change of the list's lines.
  void SetProblems(std::unordered_map<std::uint32_t, QString> problems);
  bool HasProblem(std::uint32_t entry) const { return problems_.count(entry) != 0; }

  std::uint32_t GuessedCount() const;
  // The first shown entry at or after entry, else the last shown one; -1
  // when nothing is shown.
  int NearestShown(std::uint32_t entry) const;

 private:
  bool Matches(const TFonctionLib& entry) const;

  TTableau<TFonctionLib>& list_;
  QString filter_;
  // The entry of each row, ascending.
  std::vector<std::uint32_t> shown_;
  std::unordered_map<std::uint32_t, QString> problems_;
};
