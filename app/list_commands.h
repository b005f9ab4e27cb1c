// The edits of the export list, as steps of the window's undo stack. Each
// acts on the list model alone and keeps the entries it took or replaced
// whole (bindings, what the file said of them), so that undoing it and
// doing it again give back exactly the list that was, however many
// entries it touched and whatever the view showed.
#pragma once

#include <QUndoCommand>

#include <cstdint>
#include <vector>

#include "app/export_list_model.h"

// New entries at their final indices (ascending).
class TInsertCommand : public QUndoCommand {
 public:
  TInsertCommand(TExportListModel& model, const QString& text, std::vector<std::uint32_t> at,
                 std::vector<TStoredEntry> entries);
  void redo() override;
  void undo() override;

 private:
  TExportListModel& model_;
  std::vector<std::uint32_t> at_;
  std::vector<TStoredEntry> entries_;
};

// The entries at the given indices (ascending) taken out.
class TRemoveCommand : public QUndoCommand {
 public:
  TRemoveCommand(TExportListModel& model, const QString& text, std::vector<std::uint32_t> at);
  void redo() override;
  void undo() override;

 private:
  TExportListModel& model_;
  std::vector<std::uint32_t> at_;
  std::vector<TStoredEntry> removed_;
};

// Entries changed in place. The keys typed into one field for the same
// entries, while the selection stays, are one step: commands with the same
// merge key (not -1), session and entries merge.
class TChangeCommand : public QUndoCommand {
 public:
  TChangeCommand(TExportListModel& model, const QString& text, std::vector<std::uint32_t> at,
                 std::vector<TFonctionLib> before, std::vector<TFonctionLib> after,
                 int mergeKey = -1, std::uint64_t session = 0);
  void redo() override;
  void undo() override;
  int id() const override { return mergeKey_; }
  bool mergeWith(const QUndoCommand* other) override;

 private:
  TExportListModel& model_;
  std::vector<std::uint32_t> at_;
  std::vector<TFonctionLib> before_;
  std::vector<TFonctionLib> after_;
  int mergeKey_;
  std::uint64_t session_;
};

// The list's machine, and the entries that a change of it rewrote.
class TMachineCommand : public QUndoCommand {
 public:
  TMachineCommand(TExportListModel& model, const QString& text, Machine from,
                  Machine to, std::vector<std::uint32_t> at,
                  std::vector<TFonctionLib> before, std::vector<TFonctionLib> after);
  void redo() override;
  void undo() override;

  Machine From() const { return from_; }
  Machine To() const { return to_; }
  const std::vector<std::uint32_t>& At() const { return at_; }
  const std::vector<TFonctionLib>& Before() const { return before_; }
  const std::vector<TFonctionLib>& After() const { return after_; }

 private:
  TExportListModel& model_;
  Machine from_;
  Machine to_;
  std::vector<std::uint32_t> at_;
  std::vector<TFonctionLib> before_;
  std::vector<TFonctionLib> after_;
};
