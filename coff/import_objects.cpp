// The three small COFF objects that build the DLL's import directory entry:
// the import descriptor, the null import descriptor (the directory's
// terminator) and the null thunk (the terminators of the DLL's address and
// lookup tables). Each object's pointers follow from the sizes of what
// precedes them, and those depend only on the DLL's base name.
#include <algorithm>

#include <initializer_list>

#include "coff/builder_support.h"

using namespace coff;

namespace {

constexpr std::uint32_t kIdata2Size = 20;      // one import directory entry
constexpr std::uint32_t kIdata3Size = 20;      // the terminating entry
constexpr std::uint32_t kThunkSize = 4;        // one 32-bit table slot
constexpr std::uint32_t kDescriptorRelocations = 3;


// The object name in the debug block is held behind a one-byte length.
std::size_t DebugNameLength(const DllNames& dll) {
  return std::min(dll.file.size(), kMaxDebugObjectName);
}

std::uint32_t DebugBlockSize(const DllNames& dll) {
  return Size32(kDebugHeadSize + DebugNameLength(dll) + kDebugTailSize);
}

// The ".debug$S" data: the object's name (D) and the producing tool.
void AppendDebugBlock(MemberBytes& out, const DllNames& dll) {
  const std::size_t nameLength = DebugNameLength(dll);
  std::uint8_t head[kDebugHeadSize] = {};
  StoreLittle(&head[0], kDebugSignature);
  StoreLittle(&head[4], static_cast<std::uint16_t>(kObjectNameRecordFixed + nameLength));
  StoreLittle(&head[6], kObjectNameRecordKind);
  StoreLittle(&head[8], std::uint32_t{0});
  head[12] = static_cast<std::uint8_t>(nameLength);
  AppendBytes(out, head, sizeof head);
  AppendText(out, std::string_view(dll.file).substr(0, nameLength));

  std::uint8_t tail[kDebugTailSize] = {};
  std::size_t at = 0;
  auto put16 = [&](std::uint16_t v) { StoreLittle(&tail[at], v); at += 2; };
  put16(kCompileRecordLength);
  put16(kCompileRecordKind);
  StoreLittle(&tail[at], kCompileFlags);
  at += 4;
  put16(kCompileMachineI386);
  for (std::uint16_t v : kFrontEndVersion) put16(v);
  for (std::uint16_t v : kBackEndVersion) put16(v);
  tail[at++] = static_cast<std::uint8_t>(kToolName.size());
  std::copy(kToolName.begin(), kToolName.end(), &tail[at]);  // the last byte stays 0
  AppendBytes(out, tail, sizeof tail);
}

SectionHeader DebugSection(std::uint32_t size, std::uint32_t at) {
  SectionHeader s;
  s.name = ".debug$S";
  s.sizeOfRawData = size;
  s.pointerToRawData = at;
  s.characteristics = kSectionDebugCharacteristics;
  return s;
}

SectionHeader DataSection(std::string_view name, std::uint32_t size, std::uint32_t at,
                          std::uint32_t characteristics = kSectionIdataCharacteristics) {
  SectionHeader s;
  s.name = name;
  s.sizeOfRawData = size;
  s.pointerToRawData = at;
  s.characteristics = characteristics;
  return s;
}

SymbolRecord SectionSymbol(std::string_view name, std::uint32_t value, std::int16_t section,
                           std::uint8_t storageClass) {
  return SymbolRecord{name, 0, value, section, 0, storageClass, 0};
}

SymbolRecord ExternalSymbol(std::uint32_t stringOffset, std::int16_t section) {
  return SymbolRecord{{}, stringOffset, 0, section, 0, kClassExternal, 0};
}

std::uint32_t SectionsEnd(std::uint32_t sections, std::uint32_t optionalHeader = 0) {
  return Size32(FileHeader::kSize + optionalHeader + sections * SectionHeader::kSize);
}

void AppendStringTableSize(MemberBytes& out, std::uint32_t size) {
  std::array<std::uint8_t, 4> b{};
  StoreLittle(b.data(), size);
  AppendRecord(out, b);
}

}  // namespace

namespace coff {

MemberBytes ImportDescriptorObject(const DllNames& dll, std::int32_t stamp) {
  const std::string descriptor = ImportDescriptorSymbol(dll);
  const std::string nullThunk = NullThunkSymbol(dll);
  // D and its zero, padded to an even size.
  const std::uint32_t idata6Size = Size32((dll.file.size() + 2) & ~std::size_t{1});
  const std::uint32_t debugAt = SectionsEnd(3, Pe32OptionalHeader::kSize);
  const std::uint32_t idata2At = debugAt + DebugBlockSize(dll);
  const std::uint32_t relocAt = idata2At + kIdata2Size;
  const std::uint32_t idata6At = relocAt + kDescriptorRelocations * Relocation::kSize;
  const std::uint32_t symbolsAt = idata6At + idata6Size;
  const std::uint32_t descriptorName = kStringTableSizeField;
  const std::uint32_t nullDescriptorName = Size32(descriptorName + descriptor.size() + 1);
  const std::uint32_t nullThunkName = Size32(nullDescriptorName + kNullImportDescriptor.size() + 1);
  const std::uint32_t stringTableSize = Size32(nullThunkName + nullThunk.size() + 1);

  MemberBytes out;
  FileHeader file;
  file.numberOfSections = 3;
  file.timeDateStamp = stamp;
  file.pointerToSymbolTable = symbolsAt;
  file.numberOfSymbols = 8;
  file.sizeOfOptionalHeader = Pe32OptionalHeader::kSize;
  AppendRecord(out, file.Bytes());
  AppendRecord(out, Pe32OptionalHeader{}.Bytes());

  AppendRecord(out, DebugSection(DebugBlockSize(dll), debugAt).Bytes());
  SectionHeader idata2 = DataSection(".idata$2", kIdata2Size, idata2At);
  idata2.pointerToRelocations = relocAt;
  idata2.numberOfRelocations = kDescriptorRelocations;
  AppendRecord(out, idata2.Bytes());
  SectionHeader idata6 =
      DataSection(".idata$6", idata6Size, idata6At, kSectionIdata6Characteristics);
  // It has no relocations; the pointer repeats the one of ".idata$2" all the same.
  idata6.pointerToRelocations = relocAt;
  AppendRecord(out, idata6.Bytes());

  AppendDebugBlock(out, dll);
  AppendZeros(out, kIdata2Size);
  // The directory entry's name, lookup table and address table fields.
  AppendRecord(out, Relocation{kDirectoryName, 3}.Bytes());
  AppendRecord(out, Relocation{kDirectoryLookupTable, 4}.Bytes());
  AppendRecord(out, Relocation{kDirectoryAddressTable, 5}.Bytes());
  AppendName(out, dll.file);
  AppendZeros(out, idata6Size - (dll.file.size() + 1));

  AppendRecord(out, kCompIdSymbol.Bytes());
  AppendRecord(out, ExternalSymbol(descriptorName, 2).Bytes());
  AppendRecord(out, SectionSymbol(".idata$2", kSectionSymbolValue, 2, kClassSection).Bytes());
  AppendRecord(out, SectionSymbol(".idata$6", 0, 3, kClassStatic).Bytes());
  AppendRecord(out, SectionSymbol(".idata$4", kSectionSymbolValue, 0, kClassSection).Bytes());
  AppendRecord(out, SectionSymbol(".idata$5", kSectionSymbolValue, 0, kClassSection).Bytes());
  AppendRecord(out, ExternalSymbol(nullDescriptorName, 0).Bytes());
  AppendRecord(out, ExternalSymbol(nullThunkName, 0).Bytes());

  AppendStringTableSize(out, stringTableSize);
  AppendName(out, descriptor);
  AppendName(out, kNullImportDescriptor);
  AppendName(out, nullThunk);
  return out;
}

namespace {

// A zero-filled data section of the two small objects.
struct ZeroSection {
  std::string_view name;
  std::uint32_t size;
};

// The null import descriptor and the null thunk have one shape: the debug
// block, then zero-filled data sections, and one external symbol defined
// at the start of the first of them.
MemberBytes OneSymbolObject(const DllNames& dll, std::int32_t stamp,
                            std::initializer_list<ZeroSection> sections, std::string_view symbol) {
  const auto count = static_cast<std::uint32_t>(sections.size());
  const std::uint32_t debugAt = SectionsEnd(1 + count);
  std::uint32_t dataAt = debugAt + DebugBlockSize(dll);
  std::uint32_t dataSize = 0;
  for (const ZeroSection& z : sections) dataSize += z.size;

  MemberBytes out;
  FileHeader file;
  file.numberOfSections = static_cast<std::uint16_t>(1 + count);
  file.timeDateStamp = stamp;
  file.pointerToSymbolTable = dataAt + dataSize;
  file.numberOfSymbols = 2;
  AppendRecord(out, file.Bytes());
  AppendRecord(out, DebugSection(DebugBlockSize(dll), debugAt).Bytes());
  for (const ZeroSection& z : sections) {
    AppendRecord(out, DataSection(z.name, z.size, dataAt).Bytes());
    dataAt += z.size;
  }
  AppendDebugBlock(out, dll);
  AppendZeros(out, dataSize);
  AppendRecord(out, kCompIdSymbol.Bytes());
  AppendRecord(out, ExternalSymbol(kStringTableSizeField, 2).Bytes());
  AppendStringTableSize(out, Size32(kStringTableSizeField + symbol.size() + 1));
  AppendName(out, symbol);
  return out;
}

}  // namespace

MemberBytes NullImportDescriptorObject(const DllNames& dll, std::int32_t stamp) {
  return OneSymbolObject(dll, stamp, {{".idata$3", kIdata3Size}}, kNullImportDescriptor);
}

MemberBytes NullThunkObject(const DllNames& dll, std::int32_t stamp) {
  return OneSymbolObject(dll, stamp, {{".idata$5", kThunkSize}, {".idata$4", kThunkSize}},
                         NullThunkSymbol(dll));
}

// Sections: [.text,] .idata$2, .idata$4, .idata$5, .idata$6. Symbols: one
// per section, then [S,] __imp_S and the undefined null import descriptor,
// which brings the directory's terminator into the program.
MemberBytes LongImportObject(const ImportMember& import, std::int32_t stamp) {
  const bool code = import.kind == ImportKind::Code;
  const bool byOrdinal = import.nameType == NameType::Ordinal;
  const std::uint16_t sections = code ? 5 : 4;
  const std::int16_t first = code ? 2 : 1;  // section number of .idata$2
  const std::int16_t idata2 = first, idata4 = first + 1, idata5 = first + 2, idata6 = first + 3;
  // Symbol indices: the section symbols first, in section order.
  const std::uint32_t idata2Symbol = code ? 1 : 0, idata4Symbol = idata2Symbol + 1,
                      idata5Symbol = idata2Symbol + 2, idata6Symbol = idata2Symbol + 3;
  const std::uint32_t importSymbol = idata6Symbol + (code ? 2 : 1);

  // .idata$6: the hint/name (by name only), then the DLL name, each padded to even.
  const std::string& name = import.exportName;
  const std::uint32_t hintNameSize = byOrdinal ? 0 : Size32((2 + name.size() + 2) & ~std::size_t{1});
  const std::uint32_t dllNameAt = hintNameSize;
  const std::uint32_t idata6Size = dllNameAt + Size32((import.dll->file.size() + 2) & ~std::size_t{1});
  const std::uint32_t slot = byOrdinal ? kOrdinalFlag | import.hint : 0;  // by name: the hint/name's place
  const std::uint16_t slotRelocations = byOrdinal ? 0 : 1;

  std::uint32_t at = SectionsEnd(sections);
  auto place = [&at](std::uint32_t size) { const std::uint32_t here = at; at += size; return here; };
  SectionHeader text = DataSection(".text", Size32(kJumpThunk.size()), 0, kSectionTextCharacteristics);
  if (code) {
    text.pointerToRawData = place(text.sizeOfRawData);
    text.pointerToRelocations = place(Relocation::kSize);
    text.numberOfRelocations = 1;
  }
  SectionHeader dir = DataSection(".idata$2", kDirectoryEntrySize, place(kDirectoryEntrySize));
  dir.pointerToRelocations = place(3 * Relocation::kSize);
  dir.numberOfRelocations = 3;
  SectionHeader lookup = DataSection(".idata$4", 2 * kThunkSize, place(2 * kThunkSize));
  if (!byOrdinal) lookup.pointerToRelocations = place(Relocation::kSize);
  lookup.numberOfRelocations = slotRelocations;
  SectionHeader address = DataSection(".idata$5", 2 * kThunkSize, place(2 * kThunkSize));
  if (!byOrdinal) address.pointerToRelocations = place(Relocation::kSize);
  address.numberOfRelocations = slotRelocations;
  SectionHeader names = DataSection(".idata$6", idata6Size, place(idata6Size), kSectionIdata6Characteristics);
  const std::uint32_t symbolsAt = at;

  // Long names go to the string table.
  std::vector<std::string_view> strings;
  std::uint32_t stringsSize = kStringTableSizeField;
  auto named = [&](std::string_view symbolName, std::int16_t section) {
    SymbolRecord r{symbolName, 0, 0, section, 0, kClassExternal, 0};
    if (symbolName.size() > 8) {
      r.stringOffset = stringsSize;
      stringsSize += Size32(symbolName.size() + 1);
      strings.push_back(symbolName);
    }
    return r;
  };

  MemberBytes out;
  FileHeader file;
  file.numberOfSections = sections;
  file.timeDateStamp = stamp;
  file.pointerToSymbolTable = symbolsAt;
  file.numberOfSymbols = importSymbol + 2;
  AppendRecord(out, file.Bytes());
  if (code) AppendRecord(out, text.Bytes());
  for (const SectionHeader& s : {dir, lookup, address, names}) AppendRecord(out, s.Bytes());

  if (code) {
    AppendRecord(out, kJumpThunk);
    AppendRecord(out, Relocation{kJumpThunkTarget, importSymbol, kRelocI386Dir32}.Bytes());
  }
  // The directory entry; the DLL name's place is its offset in .idata$6.
  MemberBytes entry(kDirectoryEntrySize);
  StoreLittle(&entry[kDirectoryName], dllNameAt);
  AppendBytes(out, entry.data(), entry.size());
  AppendRecord(out, Relocation{kDirectoryLookupTable, idata4Symbol}.Bytes());
  AppendRecord(out, Relocation{kDirectoryName, idata6Symbol}.Bytes());
  AppendRecord(out, Relocation{kDirectoryAddressTable, idata5Symbol}.Bytes());
  for (int table = 0; table < 2; ++table) {
    std::array<std::uint8_t, 2 * kThunkSize> slots{};
    StoreLittle(slots.data(), slot);
    AppendRecord(out, slots);
    if (!byOrdinal) AppendRecord(out, Relocation{0, idata6Symbol}.Bytes());
  }
  const std::size_t namesStart = out.size();
  if (!byOrdinal) {
    std::array<std::uint8_t, 2> hint{};
    StoreLittle(hint.data(), import.hint);
    AppendRecord(out, hint);
    AppendName(out, name);
    AppendZeros(out, namesStart + hintNameSize - out.size());
  }
  AppendName(out, import.dll->file);
  AppendZeros(out, namesStart + idata6Size - out.size());

  if (code) AppendRecord(out, SectionSymbol(".text", 0, 1, kClassStatic).Bytes());
  AppendRecord(out, SectionSymbol(".idata$2", 0, idata2, kClassStatic).Bytes());
  AppendRecord(out, SectionSymbol(".idata$4", 0, idata4, kClassStatic).Bytes());
  AppendRecord(out, SectionSymbol(".idata$5", 0, idata5, kClassStatic).Bytes());
  AppendRecord(out, SectionSymbol(".idata$6", 0, idata6, kClassStatic).Bytes());
  const std::string impName = ImportSymbol(import.symbol);
  if (code) AppendRecord(out, named(import.symbol, 1).Bytes());
  AppendRecord(out, named(impName, idata5).Bytes());
  AppendRecord(out, named(kNullImportDescriptor, kSectionUndefined).Bytes());
  AppendStringTableSize(out, stringsSize);
  for (std::string_view s : strings) AppendName(out, s);
  return out;
}

}  // namespace coff
