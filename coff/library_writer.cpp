// The library writer: decides how each entry is imported, builds every
// member as bytes, places them all, builds the two linker members from
// the places, and writes the file front to back in one pass.
//
// The bytes go through a safe save: until the whole library is written
// the old file stays as it was.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <new>
#include <set>

#include "coff/builder_support.h"
#include "coff/dll_base_name.h"
#include "coff/symbol_order.h"
#include "model/fichier_lib.h"
#include "platform/clock.h"
#include "platform/safe_save.h"

using namespace coff;

namespace {

// Offsets inside the archive are 32-bit, and seeks signed 32-bit.
constexpr std::uint64_t kMaxLibrarySize = INT32_MAX;
// Members are handed to the file in batches of about this size.
constexpr std::size_t kWriteBatch = 1 << 16;

struct Member {
  const std::string* name;  // the header's name field, e.g. "mylib.dll/"
  MemberBytes data;
};

std::uint64_t PaddedSize(std::size_t size) { return kMemberHeaderSize + size + (size & 1); }

// A field of the member header: the text left-justified, padded with
// spaces, cut to the field's width.
void PutField(char* field, std::size_t width, std::string_view text) {
  std::memset(field, ' ', width);
  std::memcpy(field, text.data(), std::min(width, text.size()));
}

void AppendMember(MemberBytes& out, std::string_view name, std::int32_t stamp,
                  const MemberBytes& data) {
  char header[kMemberHeaderSize];
  char* at = header;
  PutField(at, kMemberNameWidth, name);
  at += kMemberNameWidth;
  PutField(at, kMemberDateWidth, std::to_string(stamp));
  at += kMemberDateWidth;
  PutField(at, kMemberBlankWidth, "");
  at += kMemberBlankWidth;
  PutField(at, kMemberModeWidth, "0");
  at += kMemberModeWidth;
  PutField(at, kMemberSizeWidth, std::to_string(data.size()));
  at += kMemberSizeWidth;
  std::memcpy(at, kMemberHeaderEnd, sizeof kMemberHeaderEnd);
  AppendBytes(out, header, sizeof header);
  AppendBytes(out, data.data(), data.size());
  if (data.size() & 1) out.push_back(kMemberPad);
}

// How the loader finds the export the entry is bound to, from the client's
// symbol S: by ordinal, by a name type that turns S into the export name,
// or, when none does, through a long-format object that names it.
void ChooseLookup(const TFonctionLib& entry, ImportMember& import) {
  const ImportBinding& b = entry.Import;
  if (b.ByOrdinal || (b.NoName && b.Ordinal != 0)) {
    import.nameType = NameType::Ordinal;
    import.hint = b.Ordinal;
    import.exportName.clear();
    return;
  }
  const std::string exportName(AsCString(b.ExportName));
  if (exportName.empty()) return;  // a hand-made entry: undecorated, as always
  if (exportName == import.symbol) import.nameType = NameType::Name;
  else if (exportName == WithoutPrefix(import.symbol)) import.nameType = NameType::NoPrefix;
  else if (exportName == UndecoratedName(import.symbol)) import.nameType = NameType::Undecorate;
  else {
    import.longForm = true;
    import.exportName = exportName;
  }
}

// The imports in list order, private entries left out, each with its DLL;
// the DLLs in the order the list first names them.
struct Plan {
  std::vector<DllNames> dlls;
  std::vector<ImportMember> imports;
  std::vector<std::size_t> importDll;  // each import's index in dlls
};

Plan PlanImports(TTableau<TFonctionLib>& list, const std::string& defaultDll) {
  Plan plan;
  std::map<std::string, std::size_t> dllIndex;
  // Two DLL names with one base ("a.dll", "a.exe") would define the same
  // descriptor symbol twice, which no linker accepts; the later one is
  // then named after its whole file name.
  std::set<std::string> bases;
  auto dllOf = [&](const std::string& file) {
    auto [it, added] = dllIndex.emplace(file, plan.dlls.size());
    if (added) {
      DllNames names = DllNamesOf(file);
      if (bases.count(names.base)) names.base = file;
      for (std::size_t n = 2; bases.count(names.base); ++n) names.base = file + "#" + std::to_string(n);
      bases.insert(names.base);
      plan.dlls.push_back(names);
    }
    return it->second;
  };
  plan.imports.reserve(list.Count);
  for (std::uint32_t i = 0; i < list.Count; ++i) {
    const TFonctionLib& entry = list.Item(i);
    if (entry.Import.Private) continue;
    ImportMember import;
    import.symbol = std::string(AsCString(MicrosoftName(entry)));
    import.kind = entry.Import.Kind;
    const std::string dll(AsCString(entry.Import.Dll));
    plan.importDll.push_back(dllOf(dll.empty() ? defaultDll : dll));
    ChooseLookup(entry, import);
    plan.imports.push_back(std::move(import));
  }
  if (plan.dlls.empty()) dllOf(defaultDll);
  for (std::size_t i = 0; i < plan.imports.size(); ++i)
    plan.imports[i].dll = &plan.dlls[plan.importDll[i]];
  return plan;
}

class LibraryTooLarge {};

}  // namespace

void SwapBytes32(const void* source, void* destination) {
  const auto* s = static_cast<const std::uint8_t*>(source);
  std::uint8_t swapped[4] = {s[3], s[2], s[1], s[0]};
  std::memcpy(destination, swapped, 4);
}

Outcome TFichierLib::WriteCoffLibrary(const std::string& fileName) {
  if (const std::string why = WrongMachine(); !why.empty()) return Outcome::Refused(why);
  const std::int32_t stamp = platform::TimeStampNow();
  const std::string defaultDll = DllBaseNameOf(fileName) + std::string(kDllSuffix);

  try {
    Plan plan = PlanImports(Fonctions, defaultDll);
    const std::vector<DllNames>& dlls = plan.dlls;
    std::vector<ImportMember>& imports = plan.imports;
    const std::vector<std::size_t>& importDll = plan.importDll;

    // The fixed objects: the first DLL's descriptor, the null import
    // descriptor and the first DLL's null thunk; then each other DLL's
    // descriptor and null thunk.
    std::vector<std::string> memberNames;
    for (const DllNames& dll : dlls) memberNames.push_back(dll.file + "/");
    std::vector<Member> members;
    std::vector<IndexedSymbol> symbols;
    std::uint64_t total = 0;
    auto add = [&](std::size_t dll, MemberBytes data) {
      total += PaddedSize(data.size());
      if (total > kMaxLibrarySize) throw LibraryTooLarge();
      members.push_back({&memberNames[dll], std::move(data)});
      return static_cast<std::uint32_t>(members.size() - 1);
    };
    for (std::size_t d = 0; d < dlls.size(); ++d) {
      symbols.push_back({ImportDescriptorSymbol(dlls[d]), add(d, ImportDescriptorObject(dlls[d], stamp))});
      if (d == 0)
        symbols.push_back({std::string(kNullImportDescriptor), add(0, NullImportDescriptorObject(dlls[0], stamp))});
      symbols.push_back({NullThunkSymbol(dlls[d]), add(d, NullThunkObject(dlls[d], stamp))});
    }
    const std::size_t fixed = members.size();

    // The imports in the byte order of their symbols; an undecorated
    // import's hint is its sorted place (past 65535 it wraps, which only
    // costs the loader its first guess).
    std::vector<std::string> importSymbols;
    importSymbols.reserve(imports.size());
    for (const ImportMember& import : imports) importSymbols.push_back(import.symbol);
    const std::vector<std::uint32_t> order = SymbolSortOrder(importSymbols);
    std::vector<std::uint32_t> memberOfImport(imports.size());
    for (std::size_t k = 0; k < order.size(); ++k) {
      ImportMember& import = imports[order[k]];
      if (import.nameType != NameType::Ordinal) import.hint = static_cast<std::uint16_t>(k);
      memberOfImport[order[k]] = add(importDll[order[k]], import.longForm ? LongImportObject(import, stamp)
                                                                          : ShortImportObject(import, stamp));
    }

    // The member table: the fixed objects, then each import in list order.
    // Each import gives its symbol (code only) and its "__imp_" symbol.
    std::vector<std::uint32_t> tableMember(fixed);
    for (std::uint32_t m = 0; m < fixed; ++m) tableMember[m] = m;
    for (std::size_t i = 0; i < imports.size(); ++i) {
      const auto place = static_cast<std::uint32_t>(tableMember.size());
      tableMember.push_back(memberOfImport[i]);
      if (imports[i].kind == ImportKind::Code) symbols.push_back({imports[i].symbol, place});
      symbols.push_back({ImportSymbol(imports[i].symbol), place});
    }

    // Past 65535 members the second linker member's 16-bit indices cannot
    // name them; the archive then has the first linker member alone, which
    // linkers read in its place.
    const bool secondLinker = tableMember.size() <= kMaxIndexedMembers;
    std::uint64_t at = kArchiveSignatureSize + PaddedSize(FirstLinkerSize(symbols));
    if (secondLinker) at += PaddedSize(SecondLinkerSize(symbols, tableMember.size()));
    std::vector<std::uint32_t> memberAt(members.size());
    for (std::size_t m = 0; m < members.size(); ++m) {
      memberAt[m] = static_cast<std::uint32_t>(at);
      at += PaddedSize(members[m].data.size());
    }
    if (at > kMaxLibrarySize) throw LibraryTooLarge();
    std::vector<std::uint32_t> tableOffsets(tableMember.size());
    for (std::size_t t = 0; t < tableMember.size(); ++t) tableOffsets[t] = memberAt[tableMember[t]];

    SafeSave file(fileName);
    if (!file.IsOpen()) return Outcome::CannotOpen(file.Error());
    MemberBytes out(kArchiveSignature, kArchiveSignature + kArchiveSignatureSize);
    auto flush = [&] {
      file.Write(out.data(), static_cast<std::uint32_t>(out.size()));
      out.clear();
    };
    const std::string linkerName(kLinkerMemberName);
    AppendMember(out, linkerName, stamp, FirstLinkerMember(symbols, tableOffsets));
    if (secondLinker) AppendMember(out, linkerName, stamp, SecondLinkerMember(symbols, tableOffsets));
    for (Member& member : members) {
      AppendMember(out, AsCString(*member.name), stamp, member.data);
      MemberBytes().swap(member.data);
      if (out.size() >= kWriteBatch) flush();
    }
    flush();
    if (!file.Commit()) return Outcome::CannotWrite(file.Error());
  } catch (const LibraryTooLarge&) {
    // Nothing was written: the old file stays.
    return Outcome::CannotWrite(EFBIG, "the library would pass the 2 GB an archive can address");
  } catch (const std::bad_alloc&) {
    return Outcome::CannotWrite(ENOMEM);
  }
  return Outcome::Done();
}
