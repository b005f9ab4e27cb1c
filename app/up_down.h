// The up-down spinner bound to an edit: two arrows that step a position
// within a range and write it into the edit as text. Before each step the
// spinner takes up the number the edit holds, so a value typed by hand is
// stepped from; a text that is no number within the range leaves the
// position as it was. The up and down arrow keys in the edit step it too.
#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

class TUpDown : public QWidget {
 public:
  explicit TUpDown(QWidget* parent);

  void SetAssociate(QLineEdit* edit);
  QLineEdit* Associate() const { return associate_; }

  int Min = 0;
  int Max = 100;
  int Increment = 1;
  bool Wrap = false;

  int Position() const { return position_; }
  void SetPosition(int position);

  // One step up (+1) or down (-1), as a click on an arrow does.
  void Step(int direction);

  QToolButton* UpButton() const { return up_; }
  QToolButton* DownButton() const { return down_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void ReadAssociate();
  void WriteAssociate();

  QToolButton* up_;
  QToolButton* down_;
  QLineEdit* associate_ = nullptr;
  int position_ = 0;
};
