// What the list view shows of the export list: the entries any of whose
// cells contains the find text (letter case aside), sorted by the column
// the user clicked, numbers as numbers. An entry an edit touched since
// the find text last changed stays shown, so that a line does not vanish
// while the user types in it.
#pragma once

#include <QSortFilterProxyModel>

#include <string>

class TExportListModel;

class TListFilter : public QSortFilterProxyModel {
 public:
  TListFilter(TExportListModel* source, QObject* parent);

  // Shows only the entries with a cell that contains text; an empty text
  // shows them all.
  void SetText(const QString& text);
  const QString& Text() const { return text_; }
  bool Filtered() const { return !text_.isEmpty(); }

 protected:
  bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
  bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

 private:
  TExportListModel* source_;
  QString text_;
  // The text in Windows-1252, lower case, as the cells are searched.
  std::string needle_;
};
