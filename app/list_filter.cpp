#include "app/list_filter.h"

#include <algorithm>

#include "app/export_list_model.h"

namespace {

// Lower case of a Windows-1252 byte: ASCII and the accented Latin letters.
char Lower(char c) {
  const auto u = static_cast<unsigned char>(c);
  if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7))
    return static_cast<char>(u + 0x20);
  return c;
}

bool ContainsLower(const std::string& text, const std::string& lowerNeedle) {
  return std::search(text.begin(), text.end(), lowerNeedle.begin(), lowerNeedle.end(),
                     [](char a, char b) { return Lower(a) == b; }) != text.end();
}

}  // namespace

TListFilter::TListFilter(TExportListModel* source, QObject* parent)
    : QSortFilterProxyModel(parent), source_(source) {
  setSourceModel(source);
  // Until the user clicks a header the list stays in its own order.
  sort(-1);
}

void TListFilter::SetText(const QString& text) {
  if (text == text_) return;
  text_ = text;
  needle_ = QStringToAnsi(text);
  std::transform(needle_.begin(), needle_.end(), needle_.begin(), Lower);
  // Another search: what the last edits kept shown goes by the new one.
  source_->Unpin();
  invalidateFilter();
}

bool TListFilter::filterAcceptsRow(int sourceRow, const QModelIndex&) const {
  if (needle_.empty()) return true;
  const auto entry = static_cast<std::uint32_t>(sourceRow);
  if (source_->Pinned(entry)) return true;
  for (int column = 0; column < kColumnCount; ++column)
    if (ContainsLower(source_->Text(column, entry), needle_)) return true;
  return false;
}

bool TListFilter::lessThan(const QModelIndex& left, const QModelIndex& right) const {
  const auto a = static_cast<std::uint32_t>(left.row());
  const auto b = static_cast<std::uint32_t>(right.row());
  const int column = left.column();
  int order = 0;
  if (column == kColumnLength) {
    const std::int32_t la = source_->At(a).ArgLength;
    const std::int32_t lb = source_->At(b).ArgLength;
    order = la < lb ? -1 : la > lb ? 1 : 0;
  } else if (column == kColumnLookup && source_->At(a).Import.ByOrdinal &&
             source_->At(b).Import.ByOrdinal) {
    const int oa = source_->At(a).Import.Ordinal;
    const int ob = source_->At(b).Import.Ordinal;
    order = oa < ob ? -1 : oa > ob ? 1 : 0;
  } else {
    order = source_->Text(column, a).compare(source_->Text(column, b));
  }
  // Equal cells keep the list's order.
  return order != 0 ? order < 0 : a < b;
}
