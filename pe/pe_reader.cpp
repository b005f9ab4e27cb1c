// Reads the export table of a PE image and finds each export's calling
// convention: from its decorated name when it has one, else from its
// code, else from what the DLL's other functions share (and then says it
// guessed).
#include <string_view>

#include "model/hybrid_views.h"
#include "model/machine.h"
#include "pe/code_walk.h"
#include "pe/pe.h"
#include "pe/pe_image.h"

namespace {

bool AllDigits(std::string_view text) {
  if (text.empty() || text.size() > 5) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

// An Itanium-mangled C++ name as a GNU toolchain exports it.
bool IsItaniumName(std::string_view name) {
  return name.size() > 2 && name.substr(0, 2) == "_Z" &&
         ((name[2] >= '0' && name[2] <= '9') || name[2] == 'N' || name[2] == 'L' || name[2] == 'S');
}

// Fills the convention from a decorated export name; false when the name
// says nothing of it.
bool FromExportName(std::string_view name, TFonctionLib& entry) {
  if (name.front() == '?') {  // a Microsoft C++ name is its own symbol
    entry.Name = AnsiString(name);
    entry.Import.Symbol = entry.Name;
    return true;
  }
  if (IsItaniumName(name)) {  // a 32-bit GNU client adds the usual underscore
    entry.Name = AnsiString(name);
    entry.Import.Symbol = "_" + entry.Name;
    return true;
  }
  const std::size_t at = name.rfind('@');
  if (at != std::string_view::npos && at > 0 && AllDigits(name.substr(at + 1))) {
    const std::string_view length = name.substr(at + 1);
    std::string_view plain = name.substr(0, at);
    const bool fastcall = plain.front() == '@';
    if (fastcall || plain.front() == '_') plain.remove_prefix(1);
    if (!plain.empty() && plain.find('@') == std::string_view::npos) {
      entry.Name = AnsiString(plain);
      entry.ArgLength = StrToIntDef(length, 0);
      entry.IsPascal = true;
      // "Name@N" was exported without the underscore its symbol has.
      if (fastcall) entry.Import.Symbol = AnsiString(name);
      return true;
    }
  }
  if (name.front() == '_' && name.size() > 1 && name.find('@') == std::string_view::npos) {
    entry.Name = AnsiString(name.substr(1));
    entry.IsPascal = false;
    return true;
  }
  return false;
}

AnsiString BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A name a user can read for an export that has none: the DLL's base
// name and the ordinal, as an identifier ("libusb0_Ordinal12").
AnsiString OrdinalName(const AnsiString& dll, std::uint16_t ordinal) {
  AnsiString base = dll.substr(0, dll.rfind('.'));
  for (char& c : base)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) c = '_';
  return base + "_Ordinal" + std::to_string(ordinal);
}

}  // namespace

namespace pe {

Outcome ReadDll(const std::string& fileName, ExportList& list) {
  FileBytes bytes;
  if (Outcome read = ReadFileBytes(fileName, bytes); !read) return read;
  return ReadDll(std::move(bytes), fileName, list);
}

namespace {

// The list of one export directory of image.
Outcome ListExports(const pe::Image& image, const std::vector<pe::RawExport>& exports, const AnsiString& dll,
                    ExportList& list) {
  const bool i386 = image.ImageMachine() == Machine::I386;
  // Packed code is only unpacked by the loader: what the file holds there
  // would walk as nonsense.
  const bool packed = image.CodePacked();
  pe::CodeWalker walker(image);
  std::vector<TFonctionLib> entries(exports.size());
  std::vector<bool> guessed(exports.size(), false);
  std::size_t pascal = 0, other = 0;  // functions whose convention is known
  for (std::size_t i = 0; i < exports.size(); ++i) {
    const pe::RawExport& x = exports[i];
    TFonctionLib& e = entries[i];
    e.Import.Dll = dll;
    e.Import.Ordinal = x.Ordinal;
    e.Import.ForwardTo = x.ForwardTo;
    if (x.Name.empty()) {
      e.Name = OrdinalName(dll, x.Ordinal);
      e.Import.ByOrdinal = true;
      e.Import.NoName = true;
    } else {
      e.Import.ExportName = x.Name;
    }
    const bool forwarder = !x.ForwardTo.empty();
    if (!forwarder && !image.IsExecutable(x.Rva)) e.Import.Kind = ImportKind::Data;

    // Off 32-bit Intel a client links against the export's name as it is.
    bool known = !x.Name.empty() && i386 && FromExportName(x.Name, e);
    if (!known) {
      if (!x.Name.empty()) e.Name = x.Name;
      if (e.Import.Kind == ImportKind::Data || !i386) {
        // A variable has no convention; an x64 function has only one.
        known = true;
      } else if (!forwarder && !packed) {
        const pe::WalkResult how = walker.Walk(x.Rva);
        if (how.Kind == pe::ReturnKind::PopsArguments) {
          e.IsPascal = true;
          e.ArgLength = how.Popped;
          known = true;
        } else if (how.Kind == pe::ReturnKind::PlainReadsArguments) {
          known = true;
        }
      }
    }
    guessed[i] = !known;
    if (known && e.Import.Kind == ImportKind::Code && e.Import.Symbol.empty())
      ++(e.IsPascal ? pascal : other);
  }

  // A DLL nearly always keeps to one convention; with no clear majority
  // the default is _pascal.
  const bool sharedPascal = !(other > 2 * pascal);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (!guessed[i]) continue;
    entries[i].IsPascal = sharedPascal;
    entries[i].ArgLength = 0;
    entries[i].Unsure = true;
  }

  if (Outcome room = MakeRoom(list.Fonctions, entries.size()); !room) return room;
  list.Fonctions.Clear();
  for (std::size_t i = 0; i < entries.size(); ++i)
    list.Fonctions.Item(static_cast<std::uint32_t>(i)) = std::move(entries[i]);
  list.SourceMachine = image.ImageMachine();
  list.CodePacked = packed;
  list.Dll = dll;
  return Outcome::Done();
}

}  // namespace

Outcome ReadDll(FileBytes bytes, const std::string& fileName, ExportList& list) {
  pe::Image image;
  if (Outcome o = image.Parse(std::move(bytes)); !o) return o;
  const AnsiString dll = BaseName(fileName);
  std::vector<pe::RawExport> exports;
  if (image.ImageMachine() != Machine::Arm64 || !image.HasHybridMetadata()) {
    if (Outcome o = image.ReadExports(exports); !o) return o;
    return ListExports(image, exports, dll, list);
  }

  // An ARM64X DLL: ARM64 clients bind to its export directory, ARM64EC
  // ones to the directory its ARM64X relocations put in its place. Either
  // view may export nothing, not both.
  pe::Image ecImage;
  if (Outcome o = image.Arm64ecView(ecImage); !o) return o;
  std::vector<pe::RawExport> ecExports;
  if (image.HasExports() || !ecImage.HasExports())
    if (Outcome o = image.ReadExports(exports); !o) return o;
  if (ecImage.HasExports())
    if (Outcome o = ecImage.ReadExports(ecExports); !o) return o;
  ExportList native, ec, joined;
  if (Outcome o = ListExports(image, exports, dll, native); !o) return o;
  if (Outcome o = ListExports(ecImage, ecExports, dll, ec); !o) return o;
  JoinViews(ec, native, joined);
  // As for one view: only the entries, the machine and the packing change.
  joined.LeftOutObjects = std::move(list.LeftOutObjects);
  joined.GnuForm = list.GnuForm;
  Swap(list, joined);
  return Outcome::Done();
}

}  // namespace pe
