#include "app/list_box.h"

#include <QPainter>
#include <QStyledItemDelegate>

#include <algorithm>

#include "app/export_list_model.h"

namespace {

// Every line as high as the design says, whatever the font's leading; a
// guessed line, or one whose length contradicts its export name, carries a
// written mark at its right end, drawn so that it stays readable when the
// line is selected.
class LineDelegate : public QStyledItemDelegate {
 public:
  LineDelegate(TListBox* owner) : QStyledItemDelegate(owner), owner_(owner) {}
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(owner_->LineHeight());
    return size;
  }
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyledItemDelegate::paint(painter, option, index);
    const QString marks = index.data(kMarkRole).toString();
    if (marks.isEmpty()) return;
    painter->save();
    QFont font = option.font;
    font.setItalic(true);
    painter->setFont(font);
    const bool selected = option.state & QStyle::State_Selected;
    painter->setPen(selected ? option.palette.color(QPalette::HighlightedText)
                             : QColor(0xB0, 0x30, 0x00));
    painter->drawText(option.rect.adjusted(0, 0, -4, 0), Qt::AlignRight | Qt::AlignVCenter,
                      marks);
    painter->restore();
  }

 private:
  TListBox* owner_;
};

}  // namespace

TListBox::TListBox(QWidget* parent) : QListView(parent) {
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  // Equal lines let the view lay out a long list without measuring each.
  setUniformItemSizes(true);
  setItemDelegate(new LineDelegate(this));
}

void TListBox::SetListModel(TExportListModel* model) {
  model_ = model;
  setModel(model);
  auto noteChange = [this] {
    if (inUserInput_) changedByUser_ = true;
  };
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, noteChange);
  connect(selectionModel(), &QItemSelectionModel::currentChanged, this, noteChange);
}

void TListBox::SetLineHeight(int pixels) {
  lineHeight_ = pixels;
  doItemsLayout();
}

int TListBox::count() const { return model_ ? model_->rowCount() : 0; }

QString TListBox::LineText(int row) const {
  return model_ ? model_->index(row).data().toString() : QString();
}

QModelIndex TListBox::IndexOf(int entry) const {
  if (!model_ || entry < 0) return {};
  const int row = model_->RowOf(static_cast<std::uint32_t>(entry));
  return row < 0 ? QModelIndex() : model_->index(row);
}

int TListBox::currentRow() const {
  const QModelIndex index = currentIndex();
  return index.isValid() ? static_cast<int>(model_->EntryOf(index.row())) : -1;
}

void TListBox::setCurrentRow(int entry, QItemSelectionModel::SelectionFlags flags) {
  const QModelIndex index = IndexOf(entry);
  if (!index.isValid()) {
    selectionModel()->clear();
    return;
  }
  selectionModel()->setCurrentIndex(index, flags);
  scrollTo(index);
}

void TListBox::SelectEntries(const std::vector<int>& entries, int current) {
  QItemSelection selection;
  for (int entry : entries)
    if (const QModelIndex index = IndexOf(entry); index.isValid()) selection.select(index, index);
  selectionModel()->clear();
  const QModelIndex currentIndex = IndexOf(current);
  if (currentIndex.isValid()) {
    selectionModel()->setCurrentIndex(currentIndex, QItemSelectionModel::NoUpdate);
    scrollTo(currentIndex);
  }
  selectionModel()->select(selection, QItemSelectionModel::Select);
}

std::vector<int> TListBox::SelectedRows() const {
  std::vector<int> rows;
  if (!model_) return rows;
  for (const QItemSelectionRange& range : selectionModel()->selection())
    for (int row = range.top(); row <= range.bottom(); ++row)
      rows.push_back(static_cast<int>(model_->EntryOf(row)));
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  return rows;
}

bool TListBox::IsSelected(int entry) const {
  const QModelIndex index = IndexOf(entry);
  return index.isValid() && selectionModel()->isSelected(index);
}

QRect TListBox::EntryRect(int entry) const { return visualRect(IndexOf(entry)); }

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
  UserInput([&] { QListView::mousePressEvent(event); });
}

void TListBox::mouseMoveEvent(QMouseEvent* event) {
  UserInput([&] { QListView::mouseMoveEvent(event); });
}

void TListBox::mouseReleaseEvent(QMouseEvent* event) {
  UserInput([&] { QListView::mouseReleaseEvent(event); });
}

void TListBox::mouseDoubleClickEvent(QMouseEvent* event) {
  UserInput([&] { QListView::mouseDoubleClickEvent(event); });
}

void TListBox::keyPressEvent(QKeyEvent* event) {
  UserInput([&] { QListView::keyPressEvent(event); });
}
