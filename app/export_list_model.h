// The export list as the window shows it: one row per entry in list order,
// one column per thing export tools show (name, convention, length, both
// symbols, what the loader looks up, kind, DLL, the C++ declaration, and
// for a hybrid ARM64X list the view that imports it). It
// owns every change of the list the window makes: the undo commands
// (app/list_commands.h) act on it and nothing else, so the rows and the
// entries cannot come apart.
//
// Beside each entry it keeps what the file said of it (the entry as read),
// so that a rename put back brings the file's binding back, and whether
// an edit touched it since the filter last changed (a line the user edits
// or brings back stays shown whatever the filter says). Both travel with
// the entry through insertions, removals, undo and redo.
#pragma once

#include <QAbstractTableModel>
#include <QString>

#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

#include "model/export_list.h"
#include "model/fonction_lib.h"

// True for a line whose convention was guessed.
inline constexpr int kGuessedRole = Qt::UserRole + 1;
// The written marks at the right end of a line: a guessed convention, a
// length that contradicts the one the export name spells, a finding of a
// check. Empty for none.
inline constexpr int kMarkRole = Qt::UserRole + 2;

enum TColumn : int {
  kColumnName,
  kColumnConvention,
  kColumnLength,
  kColumnMicrosoft,
  kColumnBorland,
  kColumnLookup,
  kColumnKind,
  kColumnDll,
  kColumnDeclaration,
  kColumnView,  // a hybrid (ARM64X) list's: which clients import the entry
  kColumnCount
};

// What kind of edit just reached the list.
enum class TEditKind : std::uint8_t { Change, Insert, Remove, Machine };

// An entry with what travels with it.
struct TStoredEntry {
  TFonctionLib Entry;
  // Index of the entry as read in the model's copy of the file's list;
  // -1 for an entry no file gave.
  std::int32_t Origin = -1;
};

class TExportListModel : public QAbstractTableModel {
 public:
  TExportListModel(ExportList& list, QObject* parent);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  using QAbstractTableModel::index;
  QModelIndex index(int row) const { return index(row, kColumnName); }

  TTableau<TFonctionLib>& List() { return list_.Fonctions; }
  const TFonctionLib& At(std::uint32_t entry) const { return list_.Fonctions.Data[entry]; }
  std::uint32_t Count() const { return list_.Fonctions.Count; }
  Machine ListMachine() const { return list_.SourceMachine; }

  // The list was replaced whole (read from a file, or made new): what it
  // holds now is what was read.
  void Reset();

  // The edits, each announced to the views and then to OnEdited.
  // Puts entries at their final indices (ascending).
  void Insert(const std::vector<std::uint32_t>& at, const std::vector<TStoredEntry>& entries);
  // Takes out the entries at the given indices (ascending) and answers them.
  std::vector<TStoredEntry> Remove(const std::vector<std::uint32_t>& at);
  // Entries at `at` become `entries`, in place.
  void Change(const std::vector<std::uint32_t>& at, const std::vector<TFonctionLib>& entries);
  // The list's machine, with the entries a change of it rewrote.
  void SetMachine(Machine machine, const std::vector<std::uint32_t>& at,
                  const std::vector<TFonctionLib>& entries);
  std::function<void(TEditKind, const std::vector<std::uint32_t>&)> OnEdited;

  std::vector<TStoredEntry> Stored(const std::vector<std::uint32_t>& at) const;
  // The entry as the file gave it, or null for one no file gave.
  const TFonctionLib* AsRead(std::uint32_t entry) const;

  // Edited since the filter last changed: shown whatever it says.
  bool Pinned(std::uint32_t entry) const { return pinned_[entry] != 0; }
  void Unpin();

  // The text of a cell as shown (Windows-1252), kept between changes: the
  // sort, the filter and the copy read it.
  const AnsiString& Text(int column, std::uint32_t entry) const;

  // Marks entries a check found wrong, each with what is wrong; the marks
  // go with the next insertion or removal.
  void SetProblems(std::unordered_map<std::uint32_t, QString> problems);
  bool HasProblem(std::uint32_t entry) const { return problems_.count(entry) != 0; }

  std::uint32_t GuessedCount() const;

 private:
  void Edited(TEditKind kind, const std::vector<std::uint32_t>& at);
  AnsiString MakeText(int column, const TFonctionLib& entry) const;
  void ForgetTexts() const;

  ExportList& list_;
  // The list as read, and for each entry its place there.
  std::vector<TFonctionLib> read_;
  std::vector<std::int32_t> origin_;
  std::vector<std::uint8_t> pinned_;
  std::unordered_map<std::uint32_t, QString> problems_;
  // Cell texts by column, each filled whole when first asked for.
  mutable std::vector<std::vector<AnsiString>> texts_;
};

// Texts between the list (Windows-1252 bytes) and the toolkit.
QString AnsiToQString(const AnsiString& text);
AnsiString QStringToAnsi(const QString& text);

// What the loader looks up, as the command line's list says it: the
// export name, or "@N" (" NONAME") for an import by ordinal.
AnsiString LookupText(const TFonctionLib& entry, Machine machine);
// "code", "données", "constante".
QString KindText(ImportKind kind);

// Every field of both entries alike.
bool SameEntry(const TFonctionLib& a, const TFonctionLib& b);

// The DLLs that entries naming `dlls` import from, each once: the named
// ones in their order, as written (the .def writer compares them so),
// then, for the entries naming none (""), `unnamed`, the DLL a file is
// named after, unless a named one is it in other letter case (the
// loader finds the same file).
std::vector<AnsiString> DistinctDlls(const std::vector<AnsiString>& dlls,
                                     const AnsiString& unnamed);
