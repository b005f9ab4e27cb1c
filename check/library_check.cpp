#include "check/library_check.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>

#include "model/decorated_names.h"
#include "model/dll_names.h"
#include "model/hybrid_views.h"
#include "model/machine.h"

namespace check {

namespace {

// Bytes that the two registers of a fastcall call carry at most.
constexpr std::uint32_t kFastcallRegisterBytes = 8;

AnsiString BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool AllDigits(std::string_view text) {
  return !text.empty() && text.size() <= 5 &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "@Name@N": the byte count; nullopt for any other symbol.
std::optional<std::uint32_t> FastcallBytes(std::string_view symbol) {
  if (symbol.size() < 4 || symbol.front() != '@') return std::nullopt;
  const std::size_t at = symbol.rfind('@');
  if (at == 0 || !AllDigits(symbol.substr(at + 1))) return std::nullopt;
  return static_cast<std::uint32_t>(StrToIntDef(symbol.substr(at + 1), 0));
}

// "_Name@N", or "Name@N" as GNU linkers export a stdcall function: the
// byte count; nullopt for any other name.
std::optional<std::uint32_t> StdcallBytes(std::string_view name) {
  const std::size_t at = name.rfind('@');
  if (at == std::string_view::npos || at == 0 || name.front() == '@' || name.front() == '?' ||
      !AllDigits(name.substr(at + 1)))
    return std::nullopt;
  std::string_view plain = name.substr(0, at);
  if (plain.front() == '_') plain.remove_prefix(1);
  if (plain.empty() || plain.find('@') != std::string_view::npos) return std::nullopt;
  return static_cast<std::uint32_t>(StrToIntDef(name.substr(at + 1), 0));
}

// What a function pops, as far as one source tells it.
struct Callee {
  std::uint32_t Low = 0, High = 0;  // bytes popped, at least and at most
  bool ReadsArguments = false;      // it has stack arguments
  // "@Name@N": the N, which a fastcall client's own must equal.
  std::optional<std::uint32_t> FastcallBytes;
};

std::optional<Callee> FromCode(const pe::WalkResult& how) {
  switch (how.Kind) {
    case pe::ReturnKind::PopsArguments: return Callee{how.Popped, how.Popped, how.Popped != 0, std::nullopt};
    case pe::ReturnKind::PlainReadsArguments: return Callee{0, 0, true, std::nullopt};
    case pe::ReturnKind::PlainNoArguments: return Callee{};
    case pe::ReturnKind::Unknown: break;
  }
  return std::nullopt;
}

// A decorated export name says what its function pops: "_Name@N" all N
// bytes, "@Name@N" what did not go in registers. Other names say nothing.
std::optional<Callee> FromExportName(std::string_view name) {
  if (const auto n = StdcallBytes(name)) return Callee{*n, *n, *n != 0, std::nullopt};
  if (const auto n = FastcallBytes(name))
    return Callee{*n > kFastcallRegisterBytes ? *n - kFastcallRegisterBytes : 0, *n, *n != 0, *n};
  return std::nullopt;
}

bool Disagree(ClientStack client, std::uint32_t bytes, const Callee& callee) {
  switch (client) {
    case ClientStack::Cdecl: return callee.Low != 0;
    case ClientStack::PopsExactly: return bytes < callee.Low || bytes > callee.High;
    // A function without arguments returns plainly whatever its convention.
    case ClientStack::PopsSome: return callee.High == 0 && callee.ReadsArguments;
    case ClientStack::Fastcall:
      if (callee.FastcallBytes) return *callee.FastcallBytes != bytes;
      return callee.Low > bytes || callee.High + kFastcallRegisterBytes < bytes;
  }
  return false;
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

std::string Bytes(std::uint32_t n) { return std::to_string(n) + (n == 1 ? " byte" : " bytes"); }

}  // namespace

bool MachineFits(Machine library, Machine dll) {
  switch (library) {
    case Machine::Unknown:
    case Machine::I386: return dll == Machine::I386;
    case Machine::Amd64: return dll == Machine::Amd64;
    case Machine::Arm64: return dll == Machine::Arm64 || dll == Machine::Arm64x;
    case Machine::Arm64ec: return dll == Machine::Amd64 || dll == Machine::Arm64x;
    case Machine::Arm64x: return dll == Machine::Arm64x;
  }
  return library == dll;  // a machine this program has no rule for
}

bool IsInformative(Problem problem) {
  return problem == Problem::Forwarded || problem == Problem::PackedCode || problem == Problem::NotImported;
}

const char* ProblemKeyword(Problem problem) {
  switch (problem) {
    case Problem::NotExported: return "not-exported";
    case Problem::OtherFunction: return "other-function";
    case Problem::WrongDll: return "wrong-dll";
    case Problem::CodeOrData: return "code-or-data";
    case Problem::StackMismatch: return "stack-mismatch";
    case Problem::WrongMachine: return "wrong-machine";
    case Problem::Forwarded: return "forwarded";
    case Problem::PackedCode: return "packed";
    case Problem::NotImported: return "not-imported";
  }
  return "unknown";
}

namespace {

std::string DescribeProblem(const Finding& f) {
  const std::string asked = f.ByOrdinal ? "ordinal " + std::to_string(f.Ordinal) : Quoted(f.Asked);
  switch (f.What) {
    case Problem::NotExported: {
      std::string text = "does not bind: asks " + f.Dll + " for " + asked + ", which it does not export";
      if (!f.Other.empty()) text += "; it exports " + Quoted(f.Other);
      return text;
    }
    case Problem::OtherFunction: {
      std::string text = "binds to another function: " + f.Dll + " exports " + Quoted(f.Other) + " at ordinal " +
                         std::to_string(f.Ordinal);
      if (f.OwnOrdinal != 0) text += "; " + Quoted(f.Asked) + " is its ordinal " + std::to_string(f.OwnOrdinal);
      return text + " (a library for another version of the DLL?)";
    }
    case Problem::WrongDll:
      return "wrong DLL: imports from " + f.Dll + ", which none of the DLLs given is";
    case Problem::CodeOrData:
      return f.Imported == ImportKind::Code
                 ? "imported as code, but " + asked + " is data in " + f.Dll
                 : std::string("imported as ") + (f.Imported == ImportKind::Const ? "const" : "data") +
                       ", but " + asked + " is code in " + f.Dll;
    case Problem::StackMismatch: {
      std::string code;
      if (f.Source == StackSource::ExportName)
        code = "its export name " + Quoted(f.Other) +
               (f.Other.starts_with("@") ? " says a fastcall function of " + Bytes(f.CodeBytes) + " of arguments"
                                         : " says it pops " + Bytes(f.CodeBytes));
      else if (f.CodeBytes == 0)
        code = "its code pops none (plain ret)";
      else
        code = "its code pops " + Bytes(f.CodeBytes) + " (ret " + std::to_string(f.CodeBytes) + ")";
      switch (f.Client) {
        case ClientStack::Cdecl: return "stack mismatch: a cdecl symbol (the caller pops), but " + code;
        case ClientStack::PopsExactly:
          return "stack mismatch: the symbol says the function pops " + Bytes(f.ClientBytes) + ", " + code;
        case ClientStack::PopsSome:
          return "stack mismatch: a _pascal entry (the function pops its arguments), but " + code;
        case ClientStack::Fastcall:
          return "stack mismatch: a fastcall symbol of " + Bytes(f.ClientBytes) + " of arguments, but " + code;
      }
      return "stack mismatch";
    }
    case Problem::WrongMachine:
      return "wrong machine: the library is for " + MachineName(f.LibraryMachine) + ", " + f.Dll +
             " for " + MachineName(f.DllMachine) + ": its clients cannot load it";
    case Problem::Forwarded:
      return "forwarded: " + f.Dll + " passes " + asked + " on to " + f.Other;
    case Problem::PackedCode:
      return f.Dll + ": the code is packed: only conventions that export names spell can be checked";
    case Problem::NotImported: {
      std::string text = std::to_string(f.Count) + (f.Count == 1 ? " export" : " exports") + " of " + f.Dll +
                         " not imported: ";
      for (std::size_t i = 0; i < f.Names.size(); ++i) text += (i ? ", " : "") + f.Names[i];
      if (f.Names.size() < f.Count) text += ", …";
      return text;
    }
  }
  return {};
}

}  // namespace

std::string Describe(const Finding& f) {
  if (f.View == HybridView::Both) return DescribeProblem(f);
  return DescribeProblem(f) + " (" + (f.View == HybridView::Arm64 ? "ARM64" : "ARM64EC") + " view)";
}

std::uint32_t Report::Count(Problem problem) const {
  return static_cast<std::uint32_t>(
      std::count_if(Findings.begin(), Findings.end(), [&](const Finding& f) { return f.What == problem; }));
}

bool Report::Passed(bool strict) const {
  return std::none_of(Findings.begin(), Findings.end(),
                      [&](const Finding& f) { return strict || !IsInformative(f.What); });
}

Dll::Dll() = default;
Dll::~Dll() = default;
Dll::Dll(Dll&&) noexcept = default;
Dll& Dll::operator=(Dll&&) noexcept = default;

Machine Dll::LoadsAs() const {
  const Machine header = image_->ImageMachine();
  return header == Machine::Arm64 && image_->HasHybridMetadata() ? Machine::Arm64x : header;
}

Outcome Dll::Exports::Read(const pe::Image& from, bool mayBeNone) {
  image = &from;
  if (mayBeNone && !from.HasExports()) return Outcome::Done();
  if (Outcome o = from.ReadExports(list); !o) return o;
  for (std::uint32_t i = 0; i < list.size(); ++i) {
    const pe::RawExport& x = list[i];
    byOrdinal.try_emplace(x.Ordinal, i);
    if (x.Name.empty()) continue;
    byName.try_emplace(x.Name, i);
    byUndecorated.try_emplace(UndecoratedName(x.Name), i);
  }
  return Outcome::Done();
}

Outcome Dll::Open(const std::string& path) {
  fileName_ = BaseName(path);
  image_ = std::make_unique<pe::Image>();
  if (Outcome o = pe::LoadImage(path, *image_); !o) return o;
  const bool hybrid = LoadsAs() == Machine::Arm64x;
  if (hybrid) {
    ecImage_ = std::make_unique<pe::Image>();
    if (Outcome o = image_->Arm64ecView(*ecImage_); !o) return o;
  }
  // Either view of an ARM64X DLL may export nothing, not both.
  const bool mayBeNone = hybrid && (image_->HasExports() || ecImage_->HasExports());
  if (Outcome o = native_.Read(*image_, mayBeNone); !o) return o;
  if (hybrid)
    if (Outcome o = ec_.Read(*ecImage_, mayBeNone); !o) return o;
  walker_ = std::make_unique<pe::CodeWalker>(*image_);
  return Outcome::Done();
}

// The views a check covers: for a DLL that is not ARM64X its one export
// directory (Both); for an ARM64X one, those of the clients that link
// against the list: its ARM64 clients, its ARM64EC clients, or both.
std::vector<HybridView> ViewsOf(const Dll& dll, Machine list) {
  if (dll.LoadsAs() != Machine::Arm64x) return {HybridView::Both};
  if (list == Machine::Arm64x) return {HybridView::Arm64, HybridView::Arm64ec};
  // x64 code, emulated, binds as ARM64EC code does.
  if (list == Machine::Arm64ec || list == Machine::Amd64) return {HybridView::Arm64ec};
  return {HybridView::Arm64};
}

// One run of the check: the state the entries share.
class Checker {
 public:
  Checker(std::vector<Dll>& dlls, const Options& options, Report& report)
      : dlls_(dlls), options_(options), report_(report), used_(dlls.size()) {
    for (std::size_t i = 0; i < dlls.size(); ++i) {
      used_[i][0].assign(dlls[i].native_.list.size(), false);
      used_[i][1].assign(dlls[i].ec_.list.size(), false);
      byFileName_.try_emplace(DllNameKey(dlls[i].FileName()), i);
    }
  }

  void Entry(std::uint32_t index, const TFonctionLib& entry);
  void Dlls();

 private:
  Finding Start(Problem what, std::uint32_t index, const TFonctionLib& entry, const AnsiString& dll) const;
  // Checks the entry against one view of the DLL; true when it binds.
  bool Bind(std::uint32_t index, const TFonctionLib& entry, std::size_t which, HybridView view);
  void Stack(std::uint32_t index, const TFonctionLib& entry, Dll& dll, const pe::RawExport& x);
  std::vector<bool>& Used(std::size_t which, HybridView view) {
    return used_[which][view == HybridView::Arm64ec && dlls_[which].ecImage_ ? 1 : 0];
  }

  std::vector<Dll>& dlls_;
  const Options& options_;
  Report& report_;
  // Exports some import binds to, of each DLL's ARM64 (or only) and
  // ARM64EC views.
  std::vector<std::array<std::vector<bool>, 2>> used_;
  std::unordered_map<AnsiString, std::size_t> byFileName_;
};

Finding Checker::Start(Problem what, std::uint32_t index, const TFonctionLib& entry, const AnsiString& dll) const {
  Finding f;
  f.What = what;
  f.Entry = index;
  f.Symbol = MicrosoftName(entry, options_.ListMachine);
  f.Dll = dll;
  f.ByOrdinal = entry.Import.ByOrdinal || entry.Import.NoName;
  f.Ordinal = entry.Import.Ordinal;
  f.Asked = f.ByOrdinal ? entry.Name : LookupName(entry, options_.ListMachine);
  return f;
}

void Checker::Entry(std::uint32_t index, const TFonctionLib& entry) {
  const ImportBinding& import = entry.Import;
  if (import.Private) return;  // never in an import library
  ++report_.Imports;
  std::size_t which = 0;
  if (!import.Dll.empty()) {
    // The file the loader will open; a DLL given by a file without an
    // extension is still found by its own name, as the library spells it.
    auto it = byFileName_.find(DllNameKey(LoaderDllName(import.Dll)));
    if (it == byFileName_.end()) it = byFileName_.find(DllNameKey(import.Dll));
    if (it == byFileName_.end()) {
      report_.Findings.push_back(Start(Problem::WrongDll, index, entry, import.Dll));
      return;
    }
    which = it->second;
  }
  // An entry of a hybrid list is checked in its own views only.
  bool bound = true;
  for (const HybridView view : ViewsOf(dlls_[which], options_.ListMachine))
    if (view == HybridView::Both || options_.ListMachine != Machine::Arm64x || InView(entry, view))
      bound = Bind(index, entry, which, view) && bound;
  if (bound) ++report_.Bound;
}

bool Checker::Bind(std::uint32_t index, const TFonctionLib& entry, std::size_t which, HybridView view) {
  const ImportBinding& import = entry.Import;
  Dll& dll = dlls_[which];
  const Dll::Exports& exports = dll.In(view);
  Finding f = Start(Problem::NotExported, index, entry, dll.FileName());
  f.View = view;
  const std::unordered_map<std::string, std::uint32_t>& table = exports.byName;
  std::uint32_t at = 0;
  if (f.ByOrdinal) {
    auto it = exports.byOrdinal.find(f.Ordinal);
    if (it == exports.byOrdinal.end()) {
      report_.Findings.push_back(std::move(f));
      return false;
    }
    at = it->second;
    // The DLL's name at that ordinal against the import's own: an export
    // without a name, or an import that never had one, cannot disagree.
    const std::string& there = exports.list[at].Name;
    if (!there.empty() && !import.NoName && there != entry.Name && there != f.Symbol &&
        UndecoratedName(there) != UndecoratedName(f.Symbol)) {
      f.What = Problem::OtherFunction;
      f.Other = there;
      f.Asked = entry.Name;
      auto own = table.find(entry.Name);
      if (own == table.end()) own = table.find(f.Symbol);
      if (own == table.end()) {
        auto loose = exports.byUndecorated.find(UndecoratedName(f.Symbol));
        if (loose != exports.byUndecorated.end()) f.OwnOrdinal = exports.list[loose->second].Ordinal;
      } else {
        f.OwnOrdinal = exports.list[own->second].Ordinal;
      }
      Used(which, view)[at] = true;
      report_.Findings.push_back(std::move(f));
      return false;
    }
  } else {
    auto it = table.find(f.Asked);
    if (it == table.end()) {
      auto loose = exports.byUndecorated.find(UndecoratedName(f.Asked));
      if (loose != exports.byUndecorated.end()) f.Other = exports.list[loose->second].Name;
      report_.Findings.push_back(std::move(f));
      return false;
    }
    at = it->second;
  }
  Used(which, view)[at] = true;

  const pe::RawExport& x = exports.list[at];
  if (!x.ForwardTo.empty()) {
    f.What = Problem::Forwarded;
    f.Other = x.ForwardTo;
    report_.Findings.push_back(std::move(f));
    return true;  // what it is lies in another DLL
  }
  const bool code = exports.image->IsExecutable(x.Rva);
  if (code != (import.Kind == ImportKind::Code)) {
    f.What = Problem::CodeOrData;
    f.Imported = import.Kind;
    report_.Findings.push_back(std::move(f));
    return true;
  }
  if (code && Decorates(options_.ListMachine)) Stack(index, entry, dll, x);
  return true;
}

void Checker::Stack(std::uint32_t index, const TFonctionLib& entry, Dll& dll, const pe::RawExport& x) {
  if (dll.image_->ImageMachine() != Machine::I386) return;
  // What the client expects is what its symbol says, whichever way the
  // list holds it: a name "F@4" without a convention is linked as "_F@4"
  // all the same. C++ names say nothing that can be compared.
  ClientStack client = ClientStack::Cdecl;
  std::uint32_t bytes = 0;
  const AnsiString symbol = MicrosoftName(entry, options_.ListMachine);
  if (const auto fast = FastcallBytes(symbol)) {
    client = ClientStack::Fastcall;
    bytes = *fast;
  } else if (!entry.Import.Symbol.empty() || !symbol.starts_with("_")) {
    return;
  } else if (const auto pops = StdcallBytes(symbol)) {
    bytes = *pops;
    // An OMF library or an old list gives _pascal entries no length.
    client = bytes == 0 && entry.IsPascal && !options_.ArgLengthsKnown ? ClientStack::PopsSome
                                                                      : ClientStack::PopsExactly;
  } else if (symbol.find('@') != std::string::npos) {
    return;
  }

  // The code is what runs, so it wins; the export's decoration tells
  // where the code cannot (packed, or a walk that finds no clear return).
  StackSource source = StackSource::Code;
  std::optional<Callee> callee;
  if (!dll.image_->CodePacked()) callee = FromCode(dll.walker_->Walk(x.Rva));
  if (!callee && (callee = FromExportName(x.Name))) source = StackSource::ExportName;
  if (!callee) {
    if (!dll.image_->CodePacked()) ++report_.StackUnknown;
    return;
  }
  ++report_.StackChecked;
  if (!Disagree(client, bytes, *callee)) return;
  Finding f = Start(Problem::StackMismatch, index, entry, dll.FileName());
  f.Client = client;
  f.ClientBytes = bytes;
  f.Source = source;
  if (source == StackSource::ExportName) {
    f.Other = x.Name;
    f.CodeBytes = callee->High;
  } else {
    f.CodeBytes = callee->Low;
  }
  report_.Findings.push_back(std::move(f));
}

void Checker::Dlls() {
  for (std::size_t i = 0; i < dlls_.size(); ++i) {
    Dll& dll = dlls_[i];
    const Machine library = options_.ListMachine;
    if (!MachineFits(library, dll.LoadsAs())) {
      Finding f;
      f.What = Problem::WrongMachine;
      f.Dll = dll.FileName();
      f.LibraryMachine = library == Machine::Unknown ? Machine::I386 : library;
      f.DllMachine = dll.LoadsAs();
      report_.Findings.push_back(std::move(f));
    }
    if (dll.image_->CodePacked()) {
      Finding f;
      f.What = Problem::PackedCode;
      f.Dll = dll.FileName();
      report_.Findings.push_back(std::move(f));
    }
    for (const HybridView view : ViewsOf(dll, library)) {
      const std::vector<pe::RawExport>& exports = dll.In(view).list;
      const std::vector<bool>& used = Used(i, view);
      Finding unused;
      unused.What = Problem::NotImported;
      unused.Dll = dll.FileName();
      unused.View = view;
      // An export with several names is used when any of them is.
      std::unordered_map<std::uint16_t, bool> ordinalUsed;
      for (std::size_t e = 0; e < exports.size(); ++e) ordinalUsed[exports[e].Ordinal] |= used[e];
      for (std::size_t e = 0; e < exports.size(); ++e) {
        const pe::RawExport& x = exports[e];
        auto it = ordinalUsed.find(x.Ordinal);
        if (it->second) continue;
        it->second = true;  // counted once
        ++unused.Count;
        if (unused.Names.size() < options_.NamesKept)
          unused.Names.push_back(x.Name.empty() ? "@" + std::to_string(x.Ordinal) : x.Name);
      }
      if (unused.Count != 0) report_.Findings.push_back(std::move(unused));
    }
  }
}

Report Check(TTableau<TFonctionLib>& list, std::vector<Dll>& dlls, const Options& options) {
  Report report;
  if (dlls.empty()) return report;
  Checker checker(dlls, options, report);
  for (std::uint32_t i = 0; i < list.Count; ++i) checker.Entry(i, list.Item(i));
  checker.Dlls();
  return report;
}

}  // namespace check
