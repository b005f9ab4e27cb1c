#include "app/list_undo.h"

#include "app/unit1.h"

TListEdit::TListEdit(TForm1& form, TEditKind kind, const QString& text,
                     std::vector<std::uint32_t> at, std::vector<TFonctionLib> before,
                     std::vector<TFonctionLib> after, int mergeKey, std::uint64_t session)
    : QUndoCommand(text),
      form_(form),
      kind_(kind),
      at_(std::move(at)),
      before_(std::move(before)),
      after_(std::move(after)),
      mergeKey_(mergeKey),
      session_(session) {}

void TListEdit::redo() {
  switch (kind_) {
    case TEditKind::Change: form_.ApplyListEdit(TEditKind::Change, at_, after_); break;
    case TEditKind::Insert: form_.ApplyListEdit(TEditKind::Insert, at_, after_); break;
    case TEditKind::Remove: form_.ApplyListEdit(TEditKind::Remove, at_, before_); break;
  }
}

void TListEdit::undo() {
  switch (kind_) {
    case TEditKind::Change: form_.ApplyListEdit(TEditKind::Change, at_, before_); break;
    case TEditKind::Insert: form_.ApplyListEdit(TEditKind::Remove, at_, after_); break;
    case TEditKind::Remove: form_.ApplyListEdit(TEditKind::Insert, at_, before_); break;
  }
}

bool TListEdit::mergeWith(const QUndoCommand* other) {
  const auto* next = dynamic_cast<const TListEdit*>(other);
  if (!next || next->kind_ != TEditKind::Change || kind_ != TEditKind::Change ||
      next->session_ != session_ || next->at_ != at_)
    return false;
  after_ = next->after_;
  return true;
}
