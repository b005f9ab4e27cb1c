#include "app/list_commands.h"

TInsertCommand::TInsertCommand(TExportListModel& model, const QString& text,
                               std::vector<std::uint32_t> at, std::vector<TStoredEntry> entries)
    : QUndoCommand(text), model_(model), at_(std::move(at)), entries_(std::move(entries)) {}

void TInsertCommand::redo() { model_.Insert(at_, entries_); }

void TInsertCommand::undo() { model_.Remove(at_); }

TRemoveCommand::TRemoveCommand(TExportListModel& model, const QString& text,
                               std::vector<std::uint32_t> at)
    : QUndoCommand(text), model_(model), at_(std::move(at)) {}

void TRemoveCommand::redo() { removed_ = model_.Remove(at_); }

void TRemoveCommand::undo() { model_.Insert(at_, removed_); }

TChangeCommand::TChangeCommand(TExportListModel& model, const QString& text,
                               std::vector<std::uint32_t> at, std::vector<TFonctionLib> before,
                               std::vector<TFonctionLib> after, int mergeKey,
                               std::uint64_t session)
    : QUndoCommand(text),
      model_(model),
      at_(std::move(at)),
      before_(std::move(before)),
      after_(std::move(after)),
      mergeKey_(mergeKey),
      session_(session) {}

void TChangeCommand::redo() { model_.Change(at_, after_); }

void TChangeCommand::undo() { model_.Change(at_, before_); }

bool TChangeCommand::mergeWith(const QUndoCommand* other) {
  const auto* next = dynamic_cast<const TChangeCommand*>(other);
  if (!next || next->session_ != session_ || next->at_ != at_) return false;
  after_ = next->after_;
  // Typed and put back: no step at all, so that the list is clean again
  // when it was.
  bool same = true;
  for (std::size_t k = 0; k < after_.size() && same; ++k) same = SameEntry(before_[k], after_[k]);
  setObsolete(same);
  return true;
}

TMachineCommand::TMachineCommand(TExportListModel& model, const QString& text, Machine from,
                                 Machine to, std::vector<std::uint32_t> at,
                                 std::vector<TFonctionLib> before, std::vector<TFonctionLib> after)
    : QUndoCommand(text),
      model_(model),
      from_(from),
      to_(to),
      at_(std::move(at)),
      before_(std::move(before)),
      after_(std::move(after)) {}

void TMachineCommand::redo() { model_.SetMachine(to_, at_, after_); }

void TMachineCommand::undo() { model_.SetMachine(from_, at_, before_); }
