// A box the panel takes a name from: the function's name, its DLL, its
// export name. Pasted text becomes one name: rows copied from the list
// (Ctrl+C writes a line of column titles, then a line per function,
// cells between tabs) give the cell of the box's own column on the first
// row, and other text its first cell, up to the first tab or line break.
// A box never edits the list itself; the panel refuses what still holds
// a control character (see ControlCharacterAt).
#pragma once

#include <QClipboard>
#include <QLineEdit>
#include <QStringList>

class TNameEdit : public QLineEdit {
 public:
  // titles: the list's column titles; column: the box's own among them.
  TNameEdit(QStringList titles, int column, QWidget* parent);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void Paste(QClipboard::Mode mode);

  QStringList titles_;
  int column_;
};

// The one name a box takes of pasted text (see above). Text the list
// copied without the box's column gives itself back whole, for the panel
// to refuse: no other cell is the box's.
QString PastedName(const QString& text, const QStringList& titles, int column);
