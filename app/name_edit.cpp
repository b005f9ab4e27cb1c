#include "app/name_edit.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QRegularExpression>

#include <algorithm>

QString PastedName(const QString& text, const QStringList& titles, int column) {
  static const QRegularExpression kLineBreak(QStringLiteral("\r\n|[\r\n]"));
  const QStringList lines = text.split(kLineBreak);
  const QStringList first = lines.front().split(QLatin1Char('\t'));
  const bool copiedRows =
      lines.size() > 1 && std::all_of(first.begin(), first.end(),
                                      [&](const QString& cell) { return titles.contains(cell); });
  if (!copiedRows) return first.front();
  const qsizetype at = first.indexOf(titles.value(column));
  if (at < 0) return text;
  return lines[1].split(QLatin1Char('\t')).value(at);
}

TNameEdit::TNameEdit(QStringList titles, int column, QWidget* parent)
    : QLineEdit(parent), titles_(std::move(titles)), column_(column) {}

void TNameEdit::Paste(QClipboard::Mode mode) {
  if (isReadOnly()) return;
  insert(PastedName(QGuiApplication::clipboard()->text(mode), titles_, column_));
}

// The toolkit's box pastes in three places: the keys, the middle button
// (the X selection) and the context menu's "Coller".
void TNameEdit::keyPressEvent(QKeyEvent* event) {
  if (!event->matches(QKeySequence::Paste)) return QLineEdit::keyPressEvent(event);
  Paste(QClipboard::Clipboard);
  event->accept();
}

void TNameEdit::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::MiddleButton || !QGuiApplication::clipboard()->supportsSelection())
    return QLineEdit::mouseReleaseEvent(event);
  deselect();
  Paste(QClipboard::Selection);
  event->accept();
}

void TNameEdit::contextMenuEvent(QContextMenuEvent* event) {
  QMenu* menu = createStandardContextMenu();
  // "Coller" by the toolkit's own words for it, before its shortcut; were
  // they to change, a paste of rows would be refused rather than cut.
  const QString paste = QCoreApplication::translate("QLineEdit", "&Paste");
  for (QAction* action : menu->actions()) {
    if (action->text().section(QLatin1Char('\t'), 0, 0) != paste) continue;
    action->disconnect(this);
    connect(action, &QAction::triggered, this, [this] { Paste(QClipboard::Clipboard); });
  }
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(event->globalPos());
}
