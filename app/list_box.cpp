#include "app/list_box.h"

#include <QHeaderView>
#include <QMenu>
#include <QPainter>
#include <QStyledItemDelegate>

#include <algorithm>

#include "app/export_list_model.h"
#include "app/list_filter.h"

namespace {

// The name column never gets narrower than this when others join it.
constexpr int kNameMinWidth = 260;

// The width each further column takes when shown.
int ColumnWidth(int column) {
  switch (column) {
    case kColumnConvention: return 72;
    case kColumnLength: return 64;
    case kColumnKind: return 80;
    case kColumnDll: return 110;
    case kColumnDeclaration: return 320;
    case kColumnView: return 80;
    default: return 190;
  }
}

// Every line as high as the design says, whatever the font's leading; a
// line with a guessed convention, a length that contradicts its export
// name or a finding of a check carries a written mark at the right end of
// its name, drawn so that it stays readable when the line is selected.
class LineDelegate : public QStyledItemDelegate {
 public:
  explicit LineDelegate(TListBox* owner) : QStyledItemDelegate(owner), owner_(owner) {}
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

TListBox::TListBox(QWidget* parent) : QTreeView(parent) {
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setAllColumnsShowFocus(true);
  // Equal lines let the view lay out a long list without measuring each.
  setUniformRowHeights(true);
  setItemDelegate(new LineDelegate(this));
  header()->setStretchLastSection(false);
  header()->setSectionsMovable(true);
  header()->setSortIndicatorShown(false);
  header()->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(header(), &QHeaderView::customContextMenuRequested, this,
          [this](const QPoint& at) { ShowHeaderMenu(at); });
  connect(header(), &QHeaderView::sortIndicatorChanged, this,
          [this] { header()->setSortIndicatorShown(true); });
}

void TListBox::SetListModel(TExportListModel* model, TListFilter* filter) {
  model_ = model;
  filter_ = filter;
  setModel(filter);
  // Until the user clicks a header, the list's own order.
  header()->setSortIndicator(-1, Qt::AscendingOrder);
  setSortingEnabled(true);
  auto noteChange = [this] {
    if (inUserInput_) changedByUser_ = true;
  };
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, noteChange);
  connect(selectionModel(), &QItemSelectionModel::currentChanged, this, noteChange);
  FitColumns();
}

void TListBox::SetLineHeight(int pixels) {
  lineHeight_ = pixels;
  doItemsLayout();
}

int TListBox::count() const { return filter_ ? filter_->rowCount() : 0; }

int TListBox::EntryOfLine(int line) const {
  return filter_->mapToSource(filter_->index(line, 0)).row();
}

QString TListBox::LineText(int line) const {
  return filter_ ? filter_->index(line, kColumnName).data().toString() : QString();
}

QModelIndex TListBox::IndexOf(int entry) const {
  if (!model_ || entry < 0 || entry >= model_->rowCount()) return {};
  return filter_->mapFromSource(model_->index(entry, 0));
}

int TListBox::LineOf(int entry) const {
  const QModelIndex index = IndexOf(entry);
  return index.isValid() ? index.row() : -1;
}

int TListBox::currentRow() const {
  const QModelIndex index = currentIndex();
  return index.isValid() ? filter_->mapToSource(index).row() : -1;
}

void TListBox::setCurrentRow(int entry, QItemSelectionModel::SelectionFlags flags) {
  const QModelIndex index = IndexOf(entry);
  if (!index.isValid()) {
    selectionModel()->clear();
    return;
  }
  selectionModel()->setCurrentIndex(index, flags | QItemSelectionModel::Rows);
  scrollTo(index);
}

void TListBox::SelectEntries(const std::vector<int>& entries, int current) {
  std::vector<int> lines;
  lines.reserve(entries.size());
  for (int entry : entries)
    if (const int line = LineOf(entry); line >= 0) lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  // One range per run of neighbouring lines.
  QItemSelection selection;
  const int last = filter_->columnCount() - 1;
  for (std::size_t i = 0; i < lines.size();) {
    std::size_t j = i;
    while (j + 1 < lines.size() && lines[j + 1] == lines[j] + 1) ++j;
    selection.select(filter_->index(lines[i], 0), filter_->index(lines[j], last));
    i = j + 1;
  }
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
  if (!filter_) return rows;
  for (const QItemSelectionRange& range : selectionModel()->selection())
    for (int line = range.top(); line <= range.bottom(); ++line) rows.push_back(EntryOfLine(line));
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  return rows;
}

bool TListBox::IsSelected(int entry) const {
  const QModelIndex index = IndexOf(entry);
  return index.isValid() && selectionModel()->isSelected(index);
}

QRect TListBox::EntryRect(int entry) const { return visualRect(IndexOf(entry)); }

void TListBox::FitColumns() {
  if (!model_) return;
  if (!columnsChosen_) {
    int room = viewport()->width() - kNameMinWidth;
    for (int column = 1; column < kColumnCount; ++column) {
      const bool fits = room >= ColumnWidth(column);
      if (fits) room -= ColumnWidth(column);
      setColumnHidden(column, !fits);
      // Once one does not fit, the later ones stay hidden too.
      if (!fits) room = -1;
    }
  }
  // The name takes what the others leave.
  int others = 0;
  for (int column = 1; column < kColumnCount; ++column)
    if (!isColumnHidden(column)) {
      if (header()->sectionSize(column) != ColumnWidth(column) && !columnsChosen_)
        setColumnWidth(column, ColumnWidth(column));
      others += columnWidth(column);
    }
  setColumnWidth(kColumnName, std::max(kNameMinWidth / 2, viewport()->width() - others));
}

void TListBox::ShowHeaderMenu(const QPoint& at) {
  QMenu menu(this);
  for (int column = 1; column < kColumnCount; ++column) {
    QAction* action =
        menu.addAction(model_->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString());
    action->setCheckable(true);
    action->setChecked(!isColumnHidden(column));
    connect(action, &QAction::toggled, this, [this, column](bool shown) {
      columnsChosen_ = true;
      setColumnHidden(column, !shown);
      if (shown) setColumnWidth(column, ColumnWidth(column));
      FitColumns();
    });
  }
  menu.addSeparator();
  QAction* automatic = menu.addAction(QStringLiteral("Selon la largeur de la fenêtre"));
  automatic->setCheckable(true);
  automatic->setChecked(!columnsChosen_);
  connect(automatic, &QAction::toggled, this, [this](bool on) {
    columnsChosen_ = !on;
    FitColumns();
  });
  menu.exec(header()->mapToGlobal(at));
}

QString TListBox::SelectionAsText() const {
  std::vector<int> columns;
  for (int visual = 0; visual < header()->count(); ++visual) {
    const int column = header()->logicalIndex(visual);
    if (!isColumnHidden(column)) columns.push_back(column);
  }
  QStringList lines;
  QStringList cells;
  for (int column : columns)
    cells << model_->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
  lines << cells.join(QLatin1Char('\t'));
  std::vector<int> selected;
  for (const QItemSelectionRange& range : selectionModel()->selection())
    for (int line = range.top(); line <= range.bottom(); ++line) selected.push_back(line);
  std::sort(selected.begin(), selected.end());
  selected.erase(std::unique(selected.begin(), selected.end()), selected.end());
  for (int line : selected) {
    const auto entry = static_cast<std::uint32_t>(EntryOfLine(line));
    cells.clear();
    for (int column : columns) cells << AnsiToQString(model_->Text(column, entry));
    lines << cells.join(QLatin1Char('\t'));
  }
  return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
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
  UserInput([&] { QTreeView::mousePressEvent(event); });
}

void TListBox::mouseMoveEvent(QMouseEvent* event) {
  UserInput([&] { QTreeView::mouseMoveEvent(event); });
}

void TListBox::mouseReleaseEvent(QMouseEvent* event) {
  UserInput([&] { QTreeView::mouseReleaseEvent(event); });
}

void TListBox::mouseDoubleClickEvent(QMouseEvent* event) {
  UserInput([&] { QTreeView::mouseDoubleClickEvent(event); });
}

void TListBox::keyPressEvent(QKeyEvent* event) {
  UserInput([&] { QTreeView::keyPressEvent(event); });
}

void TListBox::resizeEvent(QResizeEvent* event) {
  QTreeView::resizeEvent(event);
  FitColumns();
}
