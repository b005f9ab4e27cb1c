#include "app/list_box.h"

#include <QItemSelectionModel>
#include <QStyledItemDelegate>

#include <algorithm>

namespace {

// Every line as high as the design says, whatever the font's leading.
class FixedHeightDelegate : public QStyledItemDelegate {
 public:
  FixedHeightDelegate(TListBox* owner) : QStyledItemDelegate(owner), owner_(owner) {}
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(owner_->LineHeight());
    return size;
  }

 private:
  TListBox* owner_;
};

}  // namespace

TListBox::TListBox(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  // Equal lines let the view lay out a long list without measuring each.
  setUniformItemSizes(true);
  setItemDelegate(new FixedHeightDelegate(this));
  auto noteChange = [this] {
    if (inUserInput_) changedByUser_ = true;
  };
  connect(this, &QListWidget::itemSelectionChanged, this, noteChange);
  connect(this, &QListWidget::currentRowChanged, this, noteChange);
}

void TListBox::SetLineHeight(int pixels) {
  lineHeight_ = pixels;
  doItemsLayout();
}

std::vector<int> TListBox::SelectedRows() const {
  std::vector<int> rows;
  for (const QItemSelectionRange& range : selectionModel()->selection())
    for (int row = range.top(); row <= range.bottom(); ++row) rows.push_back(row);
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  return rows;
}

bool TListBox::IsSelected(int row) const {
  return selectionModel()->isSelected(model()->index(row, 0));
}

template <typename Base>
void TListBox::UserInput(Base base) {
  const bool outer = !inUserInput_;
  if (outer) {
    inUserInput_ = true;
    changedByUser_ = false;
  }
  base();
  if (!outer) return;
  inUserInput_ = false;
  if (changedByUser_ && OnClick) OnClick();
}

void TListBox::mousePressEvent(QMouseEvent* event) {
  UserInput([&] { QListWidget::mousePressEvent(event); });
}

void TListBox::mouseMoveEvent(QMouseEvent* event) {
  UserInput([&] { QListWidget::mouseMoveEvent(event); });
}

void TListBox::mouseReleaseEvent(QMouseEvent* event) {
  UserInput([&] { QListWidget::mouseReleaseEvent(event); });
}

void TListBox::mouseDoubleClickEvent(QMouseEvent* event) {
  UserInput([&] { QListWidget::mouseDoubleClickEvent(event); });
}

void TListBox::keyPressEvent(QKeyEvent* event) {
  UserInput([&] { QListWidget::keyPressEvent(event); });
}
