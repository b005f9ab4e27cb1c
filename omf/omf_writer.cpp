// Writes an OMF import library: one module per import (THEADR, the import
// definition comment, MODEND), each on its own page, the library end
// record, then the dictionary that linkers find the modules by.

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <new>
#include <unordered_map>
#include <vector>

#include "model/decorated_names.h"
#include "model/dll_names.h"
#include "model/file_bytes.h"
#include "omf/omf.h"
#include "omf/omf_dictionary.h"
#include "omf/omf_records.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// What one module says.
struct ImportModule {
  AnsiString internalName;  // the symbol Borland clients link against
  AnsiString moduleName;    // the DLL
  AnsiString entryName;     // what the loader looks up, when by name
  bool byOrdinal = false;
  std::uint16_t ordinal = 0;
};

// Bytes of a record built in place: header, body, checksum.
class RecordWriter {
 public:
  RecordWriter(Bytes& out, std::uint8_t type) : out_(out), start_(out.size()) {
    out_.resize(start_ + omf::RecordHeader::kSize);
    records::Encode(omf::RecordHeader{type, 0}, out_.data() + start_);
  }
  void Byte(std::uint8_t b) { out_.push_back(b); }
  void Word(std::uint16_t w) {
    out_.push_back(static_cast<std::uint8_t>(w));
    out_.push_back(static_cast<std::uint8_t>(w >> 8));
  }
  void Counted(const AnsiString& text) {
    out_.push_back(static_cast<std::uint8_t>(text.size()));
    out_.insert(out_.end(), text.begin(), text.end());
  }
  void Zeros(std::size_t count) { out_.resize(out_.size() + count, 0); }
  template <typename R>
  void Record(const R& r) {
    const std::size_t at = out_.size();
    out_.resize(at + R::kSize);
    records::Encode(r, out_.data() + at);
  }
  // Fills in the length and appends the checksum that makes the record's
  // bytes sum to zero.
  void Finish() {
    const std::size_t length = out_.size() - start_ - omf::RecordHeader::kSize + omf::kChecksumSize;
    records::Encode(omf::RecordHeader{out_[start_], static_cast<std::uint16_t>(length)},
                    out_.data() + start_);
    std::uint8_t sum = 0;
    for (std::size_t i = start_; i < out_.size(); ++i) sum = static_cast<std::uint8_t>(sum + out_[i]);
    out_.push_back(static_cast<std::uint8_t>(-sum));
  }

 private:
  Bytes& out_;
  std::size_t start_;
};

constexpr std::size_t kModuleHeaderFixed = omf::kRecordHeaderSize + 1 + omf::kChecksumSize;
constexpr std::size_t kImportFixed =
    omf::kRecordHeaderSize + omf::kImportNameOffset + 1 + omf::kChecksumSize;
constexpr std::size_t kModuleEndSize = omf::kRecordHeaderSize + 1 + omf::kChecksumSize;

std::size_t ModuleSize(const ImportModule& m) {
  const std::size_t target = m.byOrdinal ? omf::kOrdinalSize : 1 + m.entryName.size();
  return kModuleHeaderFixed + m.internalName.size() + kImportFixed + m.internalName.size() +
         m.moduleName.size() + target + kModuleEndSize;
}

void AppendModule(Bytes& out, const ImportModule& m) {
  RecordWriter header(out, omf::kModuleHeader);
  header.Counted(m.internalName);
  header.Finish();

  RecordWriter definition(out, omf::kComment);
  // Comment type 0: no attribute bits.
  definition.Record(omf::ImportDefinitionHead{0, omf::kClassOmfExtension, omf::kImportDefinition,
                                              static_cast<std::uint8_t>(m.byOrdinal ? 1 : 0)});
  definition.Counted(m.internalName);
  definition.Counted(m.moduleName);
  if (m.byOrdinal)
    definition.Word(m.ordinal);
  else
    definition.Counted(m.entryName);
  definition.Finish();

  RecordWriter end(out, omf::kModuleEnd);
  end.Byte(omf::kModuleTypeNonMain);
  end.Finish();
}

// The smallest page size at which every module's page number fits in 16
// bits; 0 when none does.
std::uint32_t ChoosePageSize(const std::vector<std::size_t>& sizes) {
  for (std::uint32_t page = omf::kMinPageSize; page <= omf::kMaxPageSize; page *= 2) {
    std::uint64_t next = 1;  // page 0 is the library header
    bool fits = true;
    for (std::size_t size : sizes) {
      if (next > omf::kMaxPageNumber) {
        fits = false;
        break;
      }
      next += (size + page - 1) / page;
    }
    if (fits) return page;
  }
  return 0;
}

// Names a case-blind lookup would take for one another.
bool NamesDifferOnlyInCase(const std::vector<ImportModule>& modules) {
  std::unordered_map<AnsiString, const AnsiString*> folded;
  folded.reserve(modules.size());
  for (const ImportModule& m : modules) {
    AnsiString fold = m.internalName;
    for (char& c : fold) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const auto [at, added] = folded.emplace(std::move(fold), &m.internalName);
    if (!added && *at->second != m.internalName) return true;
  }
  return false;
}

std::optional<AnsiString> TooLong(const ImportModule& m) {
  for (const AnsiString* name : {&m.internalName, &m.moduleName, &m.entryName})
    if (name->size() > omf::kMaxNameLength) return *name;
  return std::nullopt;
}

// Long names in a message: their start is enough to find them.
AnsiString Shortened(const AnsiString& name) {
  constexpr std::size_t kShown = 40;
  return name.size() <= kShown ? name : name.substr(0, kShown) + "...";
}

}  // namespace

namespace omf {

Outcome BuildLibrary(const std::string& fileName, ExportList& list, Bytes& out) {
  if (const std::string why = WrongMachine(list, ListForm::Omf); !why.empty())
    return Outcome::Refused(why);
  TTableau<TFonctionLib>& Fonctions = list.Fonctions;
  const AnsiString defaultDll = DllFor(list, fileName);
  std::vector<ImportModule> modules;
  std::vector<std::size_t> sizes;
  try {
    for (std::uint32_t i = 0; i < Fonctions.Count; ++i) {
      const TFonctionLib& e = Fonctions.Item(i);
      if (e.Import.Private) continue;
      ImportModule m;
      m.internalName = BorlandName(e);
      m.moduleName = e.Import.Dll.empty() ? defaultDll : e.Import.Dll;
      // An export without a name is reached by its ordinal alone.
      m.byOrdinal = e.Import.ByOrdinal || (e.Import.NoName && e.Import.Ordinal != 0);
      m.ordinal = e.Import.Ordinal;
      if (!m.byOrdinal) m.entryName = LookupName(e);
      if (auto name = TooLong(m))
        return Outcome::Refused("the entry \"" + Shortened(e.Name) +
                                "\" has a name longer than 255 bytes (" + Shortened(*name) +
                                "), more than an OMF library can hold");
      sizes.push_back(ModuleSize(m));
      modules.push_back(std::move(m));
    }
    const std::uint32_t pageSize = ChoosePageSize(sizes);
    if (pageSize == 0)
      return Outcome::Refused("too many entries for an OMF library: its modules would pass the "
                              "65,535 pages a library can address");

    // The modules, each from a page boundary; the header page comes first.
    std::size_t total = pageSize;
    for (std::size_t size : sizes) total += (size + pageSize - 1) / pageSize * pageSize;
    out.clear();
    out.reserve(total + omf::kDictionaryBlockSize * (2 + modules.size() / 8));
    out.resize(pageSize, 0);
    std::vector<omf::DictionaryName> names;
    names.reserve(modules.size());
    for (const ImportModule& m : modules) {
      const auto page = static_cast<std::uint16_t>(out.size() / pageSize);
      if (!m.internalName.empty()) names.push_back({m.internalName, page});
      AppendModule(out, m);
      out.resize((out.size() + pageSize - 1) / pageSize * pageSize, 0);
    }
    // The library end record pads the file to the dictionary's boundary.
    {
      const std::size_t after = out.size() + omf::kRecordHeaderSize + omf::kChecksumSize;
      RecordWriter end(out, omf::kLibraryEnd);
      end.Zeros((omf::kDictionaryBlockSize - after % omf::kDictionaryBlockSize) %
                omf::kDictionaryBlockSize);
      end.Finish();
    }
    const std::optional<Bytes> dictionary = omf::BuildDictionary(names);
    if (!dictionary)
      return Outcome::Refused("too many names for the dictionary of an OMF library");
    if (out.size() + dictionary->size() > 0xFFFFFFFFu)
      return Outcome::Refused("the OMF library would pass the 4 GB its header can address");

    // The header record fills the first page.
    Bytes header;
    {
      RecordWriter record(header, omf::kLibraryHeader);
      omf::LibraryHeader fields;
      fields.dictionaryOffset = static_cast<std::uint32_t>(out.size());
      fields.dictionaryBlocks =
          static_cast<std::uint16_t>(dictionary->size() / omf::kDictionaryBlockSize);
      fields.flags = NamesDifferOnlyInCase(modules) ? omf::kCaseSensitive : 0;
      record.Record(fields);
      record.Zeros(pageSize - omf::RecordHeader::kSize - omf::LibraryHeader::kSize - omf::kChecksumSize);
      record.Finish();
    }
    std::copy(header.begin(), header.end(), out.begin());
    out.insert(out.end(), dictionary->begin(), dictionary->end());

    return Outcome::Done();
  } catch (const std::bad_alloc&) {
    // A list too large for memory: nothing was written.
    return Outcome::CannotWrite(ENOMEM);
  }
}

}  // namespace omf
