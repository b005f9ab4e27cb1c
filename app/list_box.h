// The list box of the export list: lines of equal height, several lines
// selectable at once (Shift and Ctrl extend the selection), and a click
// event that fires only when the user's mouse or keys change the selection
// or the current line, never for the window's own changes.
#pragma once

#include <QListWidget>

#include <functional>
#include <vector>

class TListBox : public QListWidget {
 public:
  explicit TListBox(QWidget* parent);

  void SetLineHeight(int pixels);
  int LineHeight() const { return lineHeight_; }

  // Indices of the selected lines, ascending.
  std::vector<int> SelectedRows() const;
  bool IsSelected(int row) const;

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

  int lineHeight_ = 14;
  bool inUserInput_ = false;
  bool changedByUser_ = false;
};
