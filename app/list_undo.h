// One edit of the export list as the user made it, kept on the window's
// undo stack. Each knows the entries before and after, so that undoing it
// and doing it again give back exactly the list that was.
#pragma once

#include <QUndoCommand>

#include <cstdint>
#include <vector>

#include "model/fonction_lib.h"

class TForm1;

enum class TEditKind : std::uint8_t {
  Change,  // entries at At went from Before to After
  Insert,  // After put in at At (final indices, ascending)
  Remove,  // Before taken out from At (ascending)
};

class TListEdit : public QUndoCommand {
 public:
  // A merge key groups the keys typed into one field for one set of
  // entries into one step; -1 never merges. session: edits made between
  // two changes of the selection share it.
  TListEdit(TForm1& form, TEditKind kind, const QString& text, std::vector<std::uint32_t> at,
            std::vector<TFonctionLib> before, std::vector<TFonctionLib> after, int mergeKey,
            std::uint64_t session);

  void redo() override;
  void undo() override;
  int id() const override { return mergeKey_; }
  bool mergeWith(const QUndoCommand* other) override;

 private:
  TForm1& form_;
  TEditKind kind_;
  std::vector<std::uint32_t> at_;
  std::vector<TFonctionLib> before_;
  std::vector<TFonctionLib> after_;
  int mergeKey_;
  std::uint64_t session_;
};
