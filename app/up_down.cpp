#include "app/up_down.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>

#include <cstdint>

#include "app/application.h"
#include "platform/runtime.h"

namespace {

QToolButton* MakeArrow(QWidget* parent, Qt::ArrowType arrow) {
  auto* button = new QToolButton(parent);
  button->setArrowType(arrow);
  button->setFocusPolicy(Qt::NoFocus);  // the focus stays in the edit
  button->setAutoRepeat(true);          // holding an arrow keeps stepping
  return button;
}

}  // namespace

TUpDown::TUpDown(QWidget* parent)
    : QWidget(parent), up_(MakeArrow(this, Qt::UpArrow)), down_(MakeArrow(this, Qt::DownArrow)) {
  connect(up_, &QToolButton::clicked, this, [this] { RunHandler([this] { Step(+1); }); });
  connect(down_, &QToolButton::clicked, this, [this] { RunHandler([this] { Step(-1); }); });
}

void TUpDown::SetAssociate(QLineEdit* edit) {
  if (associate_) associate_->removeEventFilter(this);
  associate_ = edit;
  if (associate_) associate_->installEventFilter(this);
}

void TUpDown::SetPosition(int position) {
  position_ = position < Min ? Min : position > Max ? Max : position;
}

void TUpDown::Step(int direction) {
  ReadAssociate();
  std::int64_t next = std::int64_t{position_} + std::int64_t{direction} * Increment;
  if (next > Max) next = Wrap ? Min : Max;
  if (next < Min) next = Wrap ? Max : Min;
  position_ = static_cast<int>(next);
  WriteAssociate();
}

void TUpDown::ReadAssociate() {
  if (!associate_) return;
  std::int32_t value = 0;
  if (TryStrToInt(associate_->text().toStdString(), value) && value >= Min && value <= Max)
    position_ = value;
}

void TUpDown::WriteAssociate() {
  // Setting the text raises the edit's change event, as typing would.
  if (associate_) associate_->setText(QString::number(position_));
}

bool TUpDown::eventFilter(QObject* watched, QEvent* event) {
  if (watched == associate_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Up || key == Qt::Key_Down) {
      RunHandler([this, key] { Step(key == Qt::Key_Up ? +1 : -1); });
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TUpDown::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const int upHeight = height() / 2;
  up_->setGeometry(0, 0, width(), upHeight);
  down_->setGeometry(0, upHeight, width(), height() - upHeight);
}
