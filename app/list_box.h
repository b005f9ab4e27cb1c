// The list box of the export list: a view over the window's list model,
// lines of equal height, several lines selectable at once (Shift and Ctrl
// extend the selection), and a click event that fires only when the user's
// mouse or keys change the selection or the current line, never for the
// window's own changes.
//
// It speaks in entries of the list, whatever the filter hides: row and
// entry are the same numbers only while nothing is filtered.
#pragma once

#include <QItemSelectionModel>
#include <QListView>
#include <QString>

#include <functional>
#include <vector>

class TExportListModel;

class TListBox : public QListView {
 public:
  explicit TListBox(QWidget* parent);

  void SetListModel(TExportListModel* model);
  TExportListModel* ListModel() const { return model_; }

  void SetLineHeight(int pixels);
  int LineHeight() const { return lineHeight_; }

  // The lines shown.
  int count() const;
  // The text of a shown line.
  QString LineText(int row) const;
  // The entry of the current line, -1 when there is none.
  int currentRow() const;
  // Makes an entry's line current, selecting as told; -1 or a hidden
  // entry leaves no current line.
  void setCurrentRow(int entry,
                     QItemSelectionModel::SelectionFlags flags = QItemSelectionModel::ClearAndSelect);
  // Selects exactly these entries (those shown), current the first.
  void SelectEntries(const std::vector<int>& entries, int current);

  // The selected entries, ascending.
  std::vector<int> SelectedRows() const;
  bool IsSelected(int entry) const;
  // Where an entry's line is drawn, in the viewport; empty when hidden.
  QRect EntryRect(int entry) const;

  std::function<void()> OnClick;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // Runs the toolkit's handling of one input event and raises OnClick when
  // it changed the selection or the current line.
  template <typename Base>
  void UserInput(Base base);
  QModelIndex IndexOf(int entry) const;

  TExportListModel* model_ = nullptr;
  int lineHeight_ = 14;
  bool inUserInput_ = false;
  bool changedByUser_ = false;
};
