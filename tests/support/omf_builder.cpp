#include "tests/support/omf_builder.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace omf {
namespace {

// Library header contents after the type and length.
constexpr std::size_t kHeaderFixedBody = 4 + 2 + 1;  // dictionary offset, blocks, flags

void PutLe16(Bytes& out, std::uint32_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void PutLe32(Bytes& out, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void PadTo(Bytes& out, std::size_t boundary) {
  while (out.size() % boundary != 0) out.push_back(0);
}

bool IsPrime(std::size_t n) {
  if (n < 2) return false;
  for (std::size_t d = 2; d * d <= n; ++d)
    if (n % d == 0) return false;
  return true;
}

// Places one entry in the block; false when its buckets or space are used up.
bool PlaceInBlock(std::uint8_t* block, const LookupHash& h, const std::string& name,
                  std::uint16_t page) {
  if (block[kFreeSpaceIndex] == kBlockFull) return false;
  const std::size_t free = block[kFreeSpaceIndex] * 2u;
  const std::size_t entrySize = (1 + name.size() + 2 + 1) & ~std::size_t{1};  // word aligned
  if (free + entrySize > kDictionaryBlockSize) return false;
  std::size_t bucket = h.bucketStart;
  for (std::size_t tries = 0; tries < kBucketCount; ++tries) {
    if (block[bucket] == 0) {
      block[bucket] = static_cast<std::uint8_t>(free / 2);
      block[free] = static_cast<std::uint8_t>(name.size());
      std::copy(name.begin(), name.end(), block + free + 1);
      block[free + 1 + name.size()] = static_cast<std::uint8_t>(page);
      block[free + 2 + name.size()] = static_cast<std::uint8_t>(page >> 8);
      const std::size_t next = free + entrySize;
      block[kFreeSpaceIndex] =
          next >= kDictionaryBlockSize ? kBlockFull : static_cast<std::uint8_t>(next / 2);
      return true;
    }
    bucket = (bucket + h.bucketStep) % kBucketCount;
  }
  block[kFreeSpaceIndex] = kBlockFull;
  return false;
}

bool TryBuildDictionary(const std::vector<std::pair<std::string, std::uint16_t>>& symbols,
                        std::size_t blocks, Bytes& out) {
  out.assign(blocks * kDictionaryBlockSize, 0);
  for (std::size_t b = 0; b < blocks; ++b)
    out[b * kDictionaryBlockSize + kFreeSpaceIndex] = kFirstEntryOffset / 2;
  for (const auto& [name, page] : symbols) {
    if (name.empty()) continue;  // no hash for an empty name
    const LookupHash h = HashOf(name, blocks);
    std::size_t block = h.blockStart;
    bool placed = false;
    for (std::size_t tries = 0; tries < blocks && !placed; ++tries) {
      placed = PlaceInBlock(out.data() + block * kDictionaryBlockSize, h, name, page);
      block = (block + h.blockStep) % blocks;
    }
    if (!placed) return false;
  }
  return true;
}

}  // namespace

namespace {

std::uint16_t RotateLeft2(std::uint16_t v) { return static_cast<std::uint16_t>(v << 2 | v >> 14); }
std::uint16_t RotateRight2(std::uint16_t v) { return static_cast<std::uint16_t>(v >> 2 | v << 14); }

}  // namespace

// The two-way hash of OMF library dictionaries: start and step for the
// block and for the bucket, from the name read from both ends, case folded.
LookupHash HashOf(const std::string& name, std::size_t blocks) {
  constexpr std::uint8_t kFold = 0x20;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(name.data());
  std::size_t length = name.size();
  std::uint16_t blockX = static_cast<std::uint16_t>(length | kFold);
  std::uint16_t bucketD = blockX;
  std::uint16_t blockD = 0;
  std::uint16_t bucketX = 0;
  std::size_t front = 0;
  std::size_t back = length;
  for (;;) {
    const std::uint16_t cBack = bytes[--back] | kFold;
    bucketX = RotateRight2(bucketX) ^ cBack;
    blockD = RotateLeft2(blockD) ^ cBack;
    if (--length == 0) break;
    const std::uint16_t cFront = bytes[front++] | kFold;
    blockX = RotateLeft2(blockX) ^ cFront;
    bucketD = RotateRight2(bucketD) ^ cFront;
  }
  LookupHash h;
  h.blockStart = static_cast<std::uint16_t>(blockX % blocks);
  h.blockStep = static_cast<std::uint16_t>(blockD % blocks);
  if (h.blockStep == 0) h.blockStep = 1;
  h.bucketStart = static_cast<std::uint16_t>(bucketX % kBucketCount);
  h.bucketStep = static_cast<std::uint16_t>(bucketD % kBucketCount);
  if (h.bucketStep == 0) h.bucketStep = 1;
  return h;
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes Counted(const std::string& text) {
  if (text.size() > 255) throw std::invalid_argument("counted string longer than 255 bytes");
  Bytes out(1 + text.size());
  out[0] = static_cast<std::uint8_t>(text.size());
  std::copy(text.begin(), text.end(), out.begin() + 1);
  return out;
}

Bytes Record(std::uint8_t type, const Bytes& body) {
  const std::size_t length = body.size() + kChecksumSize;
  if (length > 0xFFFF) throw std::invalid_argument("record longer than 65535 bytes");
  Bytes out{type};
  PutLe16(out, static_cast<std::uint32_t>(length));
  out.insert(out.end(), body.begin(), body.end());
  std::uint8_t sum = 0;
  for (std::uint8_t b : out) sum = static_cast<std::uint8_t>(sum + b);
  out.push_back(static_cast<std::uint8_t>(-sum));
  return out;
}

Bytes ModuleHeader(const std::string& name) { return Record(kModuleHeader, Counted(name)); }

Bytes ModuleEnd(bool is32) {
  return Record(is32 ? kModuleEnd32 : kModuleEnd, Bytes{kModuleTypeNonMain});
}

Bytes Comment(std::uint8_t commentClass, const Bytes& body, std::uint8_t commentType,
              std::uint8_t recordType) {
  return Record(recordType, Join({Bytes{commentType, commentClass}, body}));
}

Bytes ImportDefinition(const Import& import, std::uint8_t commentType) {
  Bytes body{kImportDefinition, static_cast<std::uint8_t>(import.byOrdinal ? 1 : 0)};
  body = Join({body, Counted(import.internalName), Counted(import.moduleName)});
  if (import.byOrdinal)
    PutLe16(body, import.ordinal);
  else
    body = Join({body, Counted(import.entryName)});
  return Comment(kClassOmfExtension, body, commentType);
}

Bytes ExportDefinition(const std::string& exportedName, const std::string& internalName) {
  const std::uint8_t flags = 0;
  return Comment(kClassOmfExtension, Join({Bytes{kExportDefinition, flags}, Counted(exportedName),
                                           Counted(internalName)}));
}

Import::Import(std::string internal, std::string module, std::string entry)
    : internalName(std::move(internal)), moduleName(std::move(module)), entryName(std::move(entry)) {}

Import Import::ByOrdinal(std::string internal, std::uint16_t ordinal, std::string module) {
  Import import(std::move(internal), std::move(module));
  import.byOrdinal = true;
  import.ordinal = ordinal;
  return import;
}

LibraryBuilder::LibraryBuilder(std::uint32_t pageSize) : pageSize_(pageSize) {
  if (!IsPageSize(pageSize)) throw std::invalid_argument("page size out of range");
}

LibraryBuilder& LibraryBuilder::AddModule(const Bytes& records,
                                          const std::vector<std::string>& symbols) {
  modules_.push_back(Module{records, symbols});
  return *this;
}

LibraryBuilder& LibraryBuilder::AddImportModule(const std::vector<Import>& imports) {
  Bytes records = ModuleHeader(imports.empty() ? "" : imports.front().internalName);
  std::vector<std::string> symbols;
  for (const Import& i : imports) {
    const Bytes definition = ImportDefinition(i);
    records.insert(records.end(), definition.begin(), definition.end());
    symbols.push_back(i.internalName);
  }
  const Bytes end = ModuleEnd();
  records.insert(records.end(), end.begin(), end.end());
  return AddModule(records, symbols);
}

LibraryBuilder& LibraryBuilder::AddImports(const std::vector<Import>& imports) {
  for (const Import& i : imports) AddImportModule({i});
  return *this;
}

LibraryBuilder& LibraryBuilder::WithDictionary(bool on) {
  dictionary_ = on;
  return *this;
}

LibraryBuilder& LibraryBuilder::WithLibraryEnd(bool on) {
  libraryEnd_ = on;
  return *this;
}

Bytes LibraryBuilder::Build() const {
  // Everything after the header page first: the header names the
  // dictionary's place.
  Bytes rest;
  std::vector<std::pair<std::string, std::uint16_t>> symbols;
  for (const Module& m : modules_) {
    const std::size_t page = (pageSize_ + rest.size()) / pageSize_;
    if (page > 0xFFFF) throw std::invalid_argument("too many pages for this page size");
    for (const std::string& s : m.symbols) symbols.emplace_back(s, static_cast<std::uint16_t>(page));
    rest.insert(rest.end(), m.records.begin(), m.records.end());
    PadTo(rest, pageSize_);
  }

  if (libraryEnd_) {
    std::size_t padding = 0;
    if (dictionary_) {
      const std::size_t after = pageSize_ + rest.size() + kRecordHeaderSize + kChecksumSize;
      padding = (kDictionaryBlockSize - after % kDictionaryBlockSize) % kDictionaryBlockSize;
    }
    rest = Join({rest, Record(kLibraryEnd, Bytes(padding, 0))});
  }

  Bytes header(pageSize_ - kRecordHeaderSize - kChecksumSize, 0);
  static_assert(kHeaderFixedBody <= kMinPageSize - kRecordHeaderSize - kChecksumSize);
  if (dictionary_) {
    std::size_t blocks = symbols.size() / 20 + 1;
    while (blocks > 1 && !IsPrime(blocks)) ++blocks;
    Bytes dictionary;
    while (!TryBuildDictionary(symbols, blocks, dictionary))
      do ++blocks; while (!IsPrime(blocks));
    PutLe32(header, 0, static_cast<std::uint32_t>(pageSize_ + rest.size()));
    header[4] = static_cast<std::uint8_t>(blocks);
    header[5] = static_cast<std::uint8_t>(blocks >> 8);
    rest = Join({rest, dictionary});
  }
  return Join({Record(kLibraryHeader, header), rest});
}

void LibraryBuilder::WriteTo(const std::string& path) const { WriteFileBytes(path, Build()); }

std::uint32_t PageSizeOf(const Bytes& library) {
  if (library.size() < kRecordHeaderSize || library[0] != kLibraryHeader) return kDefaultPageSize;
  const std::uint32_t size = (library[1] | library[2] << 8) + kRecordHeaderSize;
  return IsPageSize(size) ? size : kDefaultPageSize;
}

std::optional<std::uint16_t> LookUp(const Bytes& library, const std::string& name,
                                    bool restartBucket) {
  if (library.size() < 10 || name.empty()) return std::nullopt;
  const std::size_t offset = library[3] | library[4] << 8 | library[5] << 16 |
                             std::size_t{library[6]} << 24;
  const std::size_t blocks = library[7] | library[8] << 8;
  if (blocks == 0 || offset + blocks * kDictionaryBlockSize > library.size()) return std::nullopt;
  const LookupHash h = HashOf(name, blocks);
  std::size_t b = h.blockStart;
  std::size_t k = h.bucketStart;
  for (std::size_t tries = 0; tries < blocks; ++tries) {
    const std::uint8_t* block = library.data() + offset + b * kDictionaryBlockSize;
    for (std::size_t i = 0; i < kBucketCount; ++i) {
      const std::size_t at = block[k] * 2u;
      if (at == 0) {
        if (block[kFreeSpaceIndex] != kBlockFull) return std::nullopt;
        break;
      }
      const std::size_t length = block[at];
      if (at + 1 + length + 2 <= kDictionaryBlockSize &&
          std::string(reinterpret_cast<const char*>(block + at + 1), length) == name)
        return static_cast<std::uint16_t>(block[at + 1 + length] | block[at + 2 + length] << 8);
      k = (k + h.bucketStep) % kBucketCount;
    }
    b = (b + h.blockStep) % blocks;
    if (restartBucket) k = h.bucketStart;
  }
  return std::nullopt;
}

}  // namespace omf
