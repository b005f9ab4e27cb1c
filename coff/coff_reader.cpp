// Reads the export list of a COFF import library from its first linker
// member: the symbol count, the member offsets, then the symbol names.
// Every import, code or data, has an "__imp_" name there, whatever the
// producer and whatever order it puts the names in, so those names alone
// make the list, in the member's order. How each import binds (which DLL,
// by which name or ordinal, code or data) comes from the member its offset
// points at.
//
// The file is read whole into memory first: every offset and count in it
// is then checked against its real size before use.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "coff/archive_reader.h"
#include "coff/import_member_reader.h"
#include "model/fichier_lib.h"
#include "model/microsoft_symbol.h"

using namespace coff::parse;

namespace {

constexpr std::size_t kReadBlock = 1 << 20;
constexpr DWORD kLargestRead = 1u << 30;

// The file's bytes, read whole: no zero-filling first, since every byte
// is overwritten.
struct FileBytes {
  std::unique_ptr<std::uint8_t[]> data;
  std::size_t size = 0;
  ByteView View() const { return {data.get(), size}; }
};

// False (errno in GetLastError) when a read fails.
bool ReadWhole(HANDLE file, const std::string& fileName, FileBytes& bytes) {
  std::error_code error;
  const std::uintmax_t expected = std::filesystem::file_size(fileName, error);
  // One byte more than expected, so that the read that finds the end
  // needs no growth.
  std::size_t capacity = error ? kReadBlock : static_cast<std::size_t>(expected) + 1;
  bytes.data = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
  for (;;) {
    if (bytes.size == capacity) {
      const std::size_t grown = capacity + std::max(capacity, kReadBlock);
      auto larger = std::make_unique_for_overwrite<std::uint8_t[]>(grown);
      std::memcpy(larger.get(), bytes.data.get(), bytes.size);
      bytes.data = std::move(larger);
      capacity = grown;
    }
    DWORD got = 0;
    const auto want =
        static_cast<DWORD>(std::min<std::size_t>(capacity - bytes.size, kLargestRead));
    if (!ReadFile(file, bytes.data.get() + bytes.size, want, &got, nullptr)) return false;
    if (got == 0) return true;
    bytes.size += got;
  }
}

// Names that only the machinery of an import library carries: its import
// descriptor and null thunk (short format), its head and tail objects
// (long format). With one of them, a library without imports is still an
// import library, of no function.
bool IsImportMachinery(std::string_view name) {
  constexpr std::string_view kDescriptor = "__IMPORT_DESCRIPTOR_";
  constexpr std::string_view kNullDescriptor = "__NULL_IMPORT_DESCRIPTOR";
  constexpr char kNullThunkLead = '\x7F';
  constexpr std::string_view kNullThunk = "_NULL_THUNK_DATA";
  constexpr std::string_view kHead = "__head_";
  constexpr std::string_view kDllName = "_iname";
  return name.starts_with(kDescriptor) || name == kNullDescriptor ||
         (name.starts_with(kNullThunkLead) && name.ends_with(kNullThunk)) ||
         name.starts_with(kHead) || (name.starts_with('_') && name.ends_with(kDllName));
}

// The archive's members that are neither its indexes nor short imports.
std::uint64_t ObjectModules(ByteView file) {
  std::uint64_t objects = 0;
  std::uint64_t at = kSignature.size();
  while (const std::optional<Member> m = MemberAt(file, at)) {
    const bool shortImport =
        m->data.size() >= ImportHeader::kSize && ImportHeader::From(m->data.data()).Signed();
    if (!IsSpecialMemberName(m->header.name) && !shortImport) ++objects;
    if (!m->header.sizeKnown) break;
    at = m->next;
  }
  return objects;
}

// What an archive without imports holds: object modules (a static
// library), or nothing.
Outcome WithoutImports(ByteView file, const std::vector<std::string_view>& names) {
  if (std::any_of(names.begin(), names.end(), IsImportMachinery)) return Outcome::Done();
  if (const std::uint64_t objects = ObjectModules(file); objects > 0)
    return Outcome::StaticLibrary(objects);
  return Outcome::NotImportLibrary("an empty archive");
}

// The indices of the import names among the names. A symbol that itself
// begins with "__imp_" is no import name: it sits next to its own import
// name "__imp___imp_...", just before it (our libraries, Microsoft's) or
// just after it (llvm-dlltool's). Each import name vouches for one symbol
// only.
std::vector<std::size_t> ImportNames(const std::vector<std::string_view>& names) {
  std::vector<bool> prefixed(names.size(), false);
  for (std::size_t i = 0; i < names.size(); ++i) prefixed[i] = names[i].starts_with(kImportPrefix);
  std::vector<bool> isSymbol(names.size(), false);
  std::vector<bool> vouched(names.size(), false);
  auto importNameOf = [&](std::size_t i, std::size_t j) {
    const std::string_view s = names[i];
    const std::string_view t = names[j];
    return !vouched[j] && prefixed[j] && t.size() == s.size() + kImportPrefix.size() &&
           t.substr(kImportPrefix.size()) == s;
  };
  for (int pass = 0; pass < 2; ++pass) {
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (isSymbol[i] || !prefixed[i]) continue;
      const bool before = pass == 0 && i + 1 < names.size() && importNameOf(i, i + 1);
      const bool after = pass == 1 && i > 0 && importNameOf(i, i - 1);
      if (before || after) {
        isSymbol[i] = true;
        vouched[before ? i + 1 : i - 1] = true;
      }
    }
  }
  std::vector<std::size_t> imports;
  for (std::size_t i = 0; i < names.size(); ++i)
    if (!isSymbol[i] && prefixed[i]) imports.push_back(i);
  return imports;
}

// A member's file name: its header's, or from the long-name member for a
// "/123" name; without the trailing "/" of the GNU form.
std::string MemberName(ByteView file, std::uint64_t at) {
  const std::optional<Member> m = MemberAt(file, at);
  if (!m) return {};
  std::string_view name = m->header.name;
  if (name.size() > 1 && name.front() == '/' && name[1] >= '0' && name[1] <= '9') {
    std::uint64_t offset = 0;
    for (char c : name.substr(1)) {
      if (c < '0' || c > '9') return std::string(name);
      offset = offset * 10 + static_cast<std::uint64_t>(c - '0');
      if (offset > file.size()) return std::string(name);
    }
    for (std::uint64_t scan = kSignature.size(); const std::optional<Member> s = MemberAt(file, scan);) {
      if (s->header.name == "//") {
        if (offset >= s->data.size()) break;
        const std::string_view table(reinterpret_cast<const char*>(s->data.data()) + offset,
                                     s->data.size() - offset);
        return std::string(table.substr(0, table.find_first_of("/\n")));
      }
      if (!IsSpecialMemberName(s->header.name) || !s->header.sizeKnown) break;
      scan = s->next;
    }
    return std::string(name);
  }
  if (name.size() > 1 && name.back() == '/') name.remove_suffix(1);
  return std::string(name);
}

constexpr std::uint16_t kUnknownMachine = 0;

// The one machine of the imports, or the reason they have several.
std::string MixedMachines(const std::vector<ImportRequest>& requests, std::uint16_t& machine) {
  machine = kUnknownMachine;
  for (const ImportRequest& r : requests) {
    if (!r.isImport || r.machine == kUnknownMachine) continue;
    if (machine == kUnknownMachine) machine = r.machine;
    if (r.machine != machine) {
      char text[96];
      std::snprintf(text, sizeof text,
                    "the library mixes imports for machine 0x%04X and machine 0x%04X", machine,
                    r.machine);
      return text;
    }
  }
  return {};
}

Outcome ReadArchive(ByteView file, TTableau<TFonctionLib>& list, std::uint16_t& machine,
                    std::vector<std::string>& leftOut) {
  if (file.empty()) return Outcome::NotImportLibrary("an empty file");
  const std::string_view head(reinterpret_cast<const char*>(file.data()),
                              std::min(file.size(), kSignature.size()));
  if (head != kSignature) return Outcome::NotImportLibrary("no archive signature");
  if (file.size() == kSignature.size()) return Outcome::NotImportLibrary("an empty archive");

  const std::optional<Member> linker = MemberAt(file, kSignature.size());
  if (!linker) return Outcome::CutShort(0);
  // Hand-made archives may leave the first member's name blank; nothing
  // but the linker member can be meant by that.
  if (!linker->header.name.empty() && linker->header.name != "/")
    return Outcome::NotImportLibrary("an archive without a symbol index");
  const ByteView data = linker->data;
  if (data.size() < kLinkerCountSize) return Outcome::CutShort(0);
  const std::uint32_t count = Be32(data.data());
  const std::uint64_t namesAt = kLinkerCountSize + std::uint64_t{count} * kLinkerOffsetSize;
  if (namesAt > data.size()) return Outcome::CutShort(0);
  const ByteView offsets =
      data.subspan(kLinkerCountSize, static_cast<std::size_t>(namesAt) - kLinkerCountSize);

  // The names, read whole first: whether a name is an import name can
  // depend on a name further on. Each takes two bytes at least, so the
  // bytes left bound the count.
  std::vector<std::string_view> names;
  names.reserve(std::min<std::uint64_t>(count, (data.size() - namesAt) / 2));
  bool cutShort = false;
  std::uint64_t at = namesAt;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::optional<std::string_view> name = ZStringAt(data, at);
    if (!name || name->empty()) {  // the string table runs out
      cutShort = true;
      break;
    }
    names.push_back(*name);
    at += name->size() + 1;
  }

  // The entries first, whole (slots past the count keep an older list's
  // fields), then how each binds, straight into its binding.
  const std::vector<std::size_t> importNames = ImportNames(names);
  if (!importNames.empty()) list.Item(static_cast<std::uint32_t>(importNames.size() - 1));
  std::vector<ImportRequest> requests(importNames.size());
  for (std::size_t k = 0; k < importNames.size(); ++k) {
    const std::size_t i = importNames[k];
    TFonctionLib& entry = list.Item(static_cast<std::uint32_t>(k));
    entry = FromClientSymbol(names[i].substr(kImportPrefix.size()));
    requests[k] = {Be32(offsets.data() + i * kLinkerOffsetSize),
                   names[i].substr(kImportPrefix.size()), &entry.Import};
  }
  ReadImportBindings(file, names, offsets, requests);

  // What was read before a missing name stays in the list.
  if (cutShort) return Outcome::CutShort(requests.size());
  // Members past the end: the list is whole, but how those imports bind
  // was lost with the end of the file.
  const auto lost = std::count_if(requests.begin(), requests.end(), [&](const ImportRequest& r) {
    return r.memberAt + MemberHeader::kSize > file.size();
  });
  if (lost > 0)
    return Outcome::CutShort(requests.size(),
                             std::to_string(lost) +
                                 (lost == 1 ? " import's member" : " imports' members") +
                                 " past the end of the file");
  if (requests.empty()) return WithoutImports(file, names);

  // An object that defines an "__imp_" pointer of its own (mingw-w64's CRT
  // libraries have them beside their imports) is no import: it is left
  // out of the list, and named once.
  std::vector<std::uint64_t> objects;
  std::uint32_t kept = 0;
  for (std::size_t k = 0; k < requests.size(); ++k) {
    if (!requests[k].notImport) {
      if (kept != k) list.Item(kept) = std::move(list.Item(static_cast<std::uint32_t>(k)));
      ++kept;
    } else {
      objects.push_back(requests[k].memberAt);
    }
  }
  if (!objects.empty()) {
    std::sort(objects.begin(), objects.end());
    objects.erase(std::unique(objects.begin(), objects.end()), objects.end());
    for (std::uint64_t at : objects) leftOut.push_back(MemberName(file, at));
    list.Count = kept;
    if (kept == 0) {
      leftOut.clear();
      return Outcome::StaticLibrary(ObjectModules(file));
    }
  }
  if (std::string why = MixedMachines(requests, machine); !why.empty()) {
    list.Clear();
    return Outcome::Refused(std::move(why));
  }
  return Outcome::Done();
}

}  // namespace

AnsiString ReadZString(HANDLE file) {
  AnsiString text;
  char c = 0;
  DWORD got = 0;
  while (ReadFile(file, &c, 1, &got, nullptr) && got == 1 && c != '\0') text.push_back(c);
  return text;
}

Outcome TFichierLib::ReadCoffLibrary(const std::string& fileName) {
  HANDLE file = OpenLibraryFile(fileName, true);
  if (file == INVALID_HANDLE_VALUE) return Outcome::CannotOpen(static_cast<int>(GetLastError()));
  FileCloser closer(file);
  FileBytes bytes;
  if (!ReadWhole(file, fileName, bytes))
    return Outcome::CannotOpen(static_cast<int>(GetLastError()));
  Fonctions.Clear();
  LeftOutObjects.clear();
  std::uint16_t machine = 0;
  Outcome outcome = ReadArchive(bytes.View(), Fonctions, machine, LeftOutObjects);
  // A list of 32-bit Intel imports says nothing of its machine, as before.
  if (outcome && machine != kMachineI386) SourceMachine = machine;
  return outcome;
}
