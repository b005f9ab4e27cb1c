// The list of functions: a view of the list model through its filter
// (app/list_filter.h), one line per entry, one column per thing export
// tools show. The first column is the name, as the list box always showed
// it; the others appear as the window widens or through the header's menu.
// A click on a header sorts by that column. Several lines are selectable
// at once (Shift and Ctrl extend the selection), and a click event fires
// only when the user's mouse or keys change the selection or the current
// line, never for the window's own changes.
//
// It speaks in entries of the list, whatever the filter hides or the sort
// moves: a line and an entry are the same number only while nothing is
// filtered or sorted.
#pragma once

#include <QItemSelectionModel>
#include <QString>
#include <QTreeView>

#include <functional>
#include <vector>

class TExportListModel;
class TListFilter;

class TListBox : public QTreeView {
 public:
  explicit TListBox(QWidget* parent);

  void SetListModel(TExportListModel* model, TListFilter* filter);
  TExportListModel* ListModel() const { return model_; }
  TListFilter* Filter() const { return filter_; }

  void SetLineHeight(int pixels);
  int LineHeight() const { return lineHeight_; }

  // The lines shown.
  int count() const;
  // The name on a shown line, top to bottom.
  QString LineText(int line) const;
  // The entry of a shown line.
  int EntryOfLine(int line) const;
  // The entry of the current line, -1 when there is none.
  int currentRow() const;
  // Makes an entry's line current, selecting as told; -1 or a hidden
  // entry leaves no current line.
  void setCurrentRow(int entry,
                     QItemSelectionModel::SelectionFlags flags = QItemSelectionModel::ClearAndSelect);
  // Selects exactly these entries (those shown), current the given one.
  void SelectEntries(const std::vector<int>& entries, int current);

  // The selected entries, ascending.
  std::vector<int> SelectedRows() const;
  bool IsSelected(int entry) const;
  // Where an entry's line is drawn, in the viewport; empty when hidden.
  QRect EntryRect(int entry) const;
  // The shown line of an entry, -1 when hidden.
  int LineOf(int entry) const;

  // Shows the columns that fit the view's width, unless the user chose
  // them through the header's menu.
  void FitColumns();
  // The selected lines as tab-separated text, a header line first, in the
  // order shown and with the columns shown.
  QString SelectionAsText() const;

  std::function<void()> OnClick;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // Runs the toolkit's handling of one input event and raises OnClick when
  // it changed the selection or the current line.
  template <typename Base>
  void UserInput(Base base);
  QModelIndex IndexOf(int entry) const;
  void ShowHeaderMenu(const QPoint& at);

  TExportListModel* model_ = nullptr;
  TListFilter* filter_ = nullptr;
  int lineHeight_ = 14;
  bool inUserInput_ = false;
  bool changedByUser_ = false;
  // The user chose the columns: the width no longer decides.
  bool columnsChosen_ = false;
};
