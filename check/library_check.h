// What the loader will make of each import of a library, told before the
// program runs: imports that bind to nothing or to another function,
// imports of a DLL that is not there, code taken for data, and clients
// that pop another number of bytes than the function's code. Findings are
// values; each front end says them its own way.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/fonction_lib.h"
#include "model/machine.h"
#include "model/outcome.h"
#include "model/tableau.h"
#include "pe/code_walk.h"
#include "pe/pe_image.h"

namespace check {

enum class Problem : std::uint8_t {
  // The program will not start, or will run the wrong code.
  NotExported,    // the name or ordinal looked up is not exported
  OtherFunction,  // by ordinal, and the DLL's name there is another one
  WrongDll,       // names a DLL that none of the files given is
  CodeOrData,     // a code import of data, or a data import of code
  StackMismatch,  // the client pops another number of bytes than the function
  WrongMachine,   // the library's clients cannot load a DLL of this machine
  // Informative.
  Forwarded,    // the export is passed on to another DLL
  PackedCode,   // the DLL's code is packed: only decorated exports' stacks can be checked
  NotImported,  // exports of the DLL that no import asks for
};

// Informative findings fail a check only when asked to.
bool IsInformative(Problem problem);

// A short stable word for scripts: "not-exported", "stack-mismatch", ...
const char* ProblemKeyword(Problem problem);

// What the client expects of a function's stack, from its symbol.
enum class ClientStack : std::uint8_t {
  Cdecl,        // the caller pops: the function must return with a plain ret
  PopsExactly,  // "_Name@N": the function pops N bytes
  PopsSome,     // a _pascal entry whose length the source did not give
  Fastcall,     // "@Name@N": the function pops N less what went in registers
};

// What told how many bytes the function pops.
enum class StackSource : std::uint8_t {
  Code,        // its return instructions
  ExportName,  // the decoration of the name the DLL exports it by
};

// True when clients linked against a library for the machine `library`
// can load a DLL of the machine `dll`, as Dll::LoadsAs tells it. A list
// with no machine is for 32-bit Intel; ARM64EC code calls x64 DLLs; an
// ARM64X DLL serves ARM64 and ARM64EC clients, and only it serves both
// halves of an ARM64X library.
bool MachineFits(Machine library, Machine dll);

inline constexpr std::uint32_t kNoEntry = UINT32_MAX;

struct Finding {
  Problem What = Problem::NotExported;
  // The entry of the list it is about; kNoEntry for a finding about a DLL.
  std::uint32_t Entry = kNoEntry;
  AnsiString Symbol;  // the symbol a Microsoft client links against
  AnsiString Dll;     // the DLL the import names, or the DLL the finding is about
  // What the loader looks up: a name, or Ordinal when ByOrdinal.
  bool ByOrdinal = false;
  std::uint16_t Ordinal = 0;
  AnsiString Asked;
  // NotExported: an export that differs from Asked only by decoration.
  // OtherFunction: the name the DLL exports at Ordinal.
  // Forwarded: where the DLL passes the import on ("OTHER.Func").
  AnsiString Other;
  // OtherFunction: the ordinal at which the DLL exports the import's own
  // name, 0 when it does not.
  std::uint16_t OwnOrdinal = 0;
  // CodeOrData: how the client imports it; the export is the other.
  ImportKind Imported = ImportKind::Code;
  // StackMismatch: what the client expects, its byte count, and what the
  // function pops: from its code (0: plain ret), or from the decoration of
  // its export name (the N of "_Name@N" or "@Name@N"; Other holds the name).
  ClientStack Client = ClientStack::Cdecl;
  std::uint32_t ClientBytes = 0;
  std::uint32_t CodeBytes = 0;
  StackSource Source = StackSource::Code;
  // WrongMachine: the library's machine (32-bit Intel for a list that
  // names none) and the DLL's (ARM64X for a hybrid one).
  Machine LibraryMachine = Machine::Unknown;
  Machine DllMachine = Machine::Unknown;
  // NotImported: how many, and the first of them.
  std::uint32_t Count = 0;
  std::vector<AnsiString> Names;
  // The view of an ARM64X DLL it is about (Arm64 or Arm64ec): its clients
  // of each machine bind to exports of their own. Both for any other DLL.
  HybridView View = HybridView::Both;
};

// English, for the command line and for logs: "asks for "F", the DLL
// exports "_F@4"".
std::string Describe(const Finding& finding);

struct Report {
  std::vector<Finding> Findings;  // in list order, the DLLs' own after
  std::uint32_t Imports = 0;      // entries checked
  std::uint32_t Bound = 0;        // that bind to the function they name
  std::uint32_t StackChecked = 0; // whose convention was compared with code
  std::uint32_t StackUnknown = 0; // code functions whose code told nothing
  std::uint32_t Count(Problem problem) const;
  // No finding that fails; with strict, no finding at all.
  bool Passed(bool strict) const;
};

// A DLL read for checking: its exports by name, by ordinal and by
// undecorated name, and its code.
class Dll {
 public:
  Dll();
  ~Dll();
  Dll(Dll&&) noexcept;
  Dll& operator=(Dll&&) noexcept;

  Outcome Open(const std::string& path);
  const AnsiString& FileName() const { return fileName_; }
  // The machine its clients must be for: its header's, or ARM64X for an
  // ARM64 image with hybrid metadata. An ARM64EC DLL's header says x64.
  Machine LoadsAs() const;

 private:
  friend class Checker;
  // One export directory: an ARM64X DLL has two, the one its ARM64
  // clients bind to and the one its ARM64EC clients bind to.
  struct Exports {
    const pe::Image* image = nullptr;  // whose sections tell code from data
    std::vector<pe::RawExport> list;
    std::unordered_map<std::string, std::uint32_t> byName;
    std::unordered_map<std::uint16_t, std::uint32_t> byOrdinal;
    std::unordered_map<std::string, std::uint32_t> byUndecorated;
    // mayBeNone: an image without an export directory has no exports
    // rather than being refused.
    Outcome Read(const pe::Image& from, bool mayBeNone);
  };
  // The exports of the view (the only ones of a DLL that is not ARM64X).
  const Exports& In(HybridView view) const { return view == HybridView::Arm64ec && ecImage_ ? ec_ : native_; }

  AnsiString fileName_;
  std::unique_ptr<pe::Image> image_;
  std::unique_ptr<pe::Image> ecImage_;  // an ARM64X DLL's ARM64EC view
  std::unique_ptr<pe::CodeWalker> walker_;
  Exports native_, ec_;
};

struct Options {
  // False when a _pascal entry of length 0 may just mean "length not
  // given" (OMF libraries, old name lists): its function need only pop.
  bool ArgLengthsKnown = true;
  // How many names a NotImported finding keeps.
  std::size_t NamesKept = 10;
  // The list's machine (model/machine.h; 0: none given, 32-bit Intel):
  // symbols are named as its clients name them, and stacks compared only
  // where conventions exist, on 32-bit Intel.
  Machine ListMachine = Machine::Unknown;
};

// Checks every entry of list against the DLLs. An entry that names no DLL
// is taken to import from the first one.
Report Check(TTableau<TFonctionLib>& list, std::vector<Dll>& dlls, const Options& options = {});

}  // namespace check
