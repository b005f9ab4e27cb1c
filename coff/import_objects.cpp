// The three small COFF objects that build the DLL's import directory entry:
// the import descriptor, the null import descriptor (the directory's
// terminator) and the null thunk (the terminators of the DLL's address and
// lookup tables). Each object's pointers follow from the sizes of what
// precedes them, and those depend only on the DLL's base name.
#include <algorithm>

#include "coff/builder_support.h"

using namespace coff;

namespace {

constexpr std::uint32_t kIdata2Size = 20;      // one import directory entry
constexpr std::uint32_t kIdata3Size = 20;      // the terminating entry
constexpr std::uint32_t kThunkSize = 4;        // one 32-bit table slot
constexpr std::uint32_t kDescriptorRelocations = 3;

std::string_view BaseName(const TFichierLib& lib) { return AsCString(lib.DllBaseName); }

std::size_t DllNameLength(const TFichierLib& lib) {
  return BaseName(lib).size() + kDllSuffix.size();
}

// The object name in the debug block is held behind a one-byte length.
std::size_t DebugNameLength(const TFichierLib& lib) {
  return std::min(DllNameLength(lib), kMaxDebugObjectName);
}

std::uint32_t DebugBlockSize(const TFichierLib& lib) {
  return Size32(kDebugHeadSize + DebugNameLength(lib) + kDebugTailSize);
}

// The ".debug$S" data: the object's name (D) and the producing tool.
void AppendDebugBlock(TFichierLib& lib) {
  const std::size_t nameLength = DebugNameLength(lib);
  std::uint8_t head[kDebugHeadSize] = {};
  StoreLittle(&head[0], kDebugSignature);
  StoreLittle(&head[4], static_cast<std::uint16_t>(kObjectNameRecordFixed + nameLength));
  StoreLittle(&head[6], kObjectNameRecordKind);
  StoreLittle(&head[8], std::uint32_t{0});
  head[12] = static_cast<std::uint8_t>(nameLength);
  lib.AppendBytes(head, sizeof head);

  std::string dll(BaseName(lib));
  dll += kDllSuffix;
  AppendText(lib, std::string_view(dll).substr(0, nameLength));

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
  lib.AppendBytes(tail, sizeof tail);
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

}  // namespace

void TFichierLib::BuildImportDescriptor() {
  BufferLength = 0;
  ImportDescriptorPos = FilePos;
  const std::size_t baseLength = BaseName(*this).size();
  // D and its zero, padded to an even size.
  const std::uint32_t idata6Size = Size32((DllNameLength(*this) + 2) & ~std::size_t{1});
  const std::uint32_t debugAt = SectionsEnd(3, Pe32OptionalHeader::kSize);
  const std::uint32_t idata2At = debugAt + DebugBlockSize(*this);
  const std::uint32_t relocAt = idata2At + kIdata2Size;
  const std::uint32_t idata6At = relocAt + kDescriptorRelocations * Relocation::kSize;
  const std::uint32_t symbolsAt = idata6At + idata6Size;
  const std::uint32_t descriptorName = kStringTableSizeField;
  const std::uint32_t nullDescriptorName =
      Size32(descriptorName + kImportDescriptorPrefix.size() + baseLength + 1);
  const std::uint32_t nullThunkName = Size32(nullDescriptorName + kNullImportDescriptor.size() + 1);
  const std::uint32_t stringTableSize = Size32(nullThunkName + 1 + baseLength + kNullThunkSuffix.size() + 1);

  FileHeader file;
  file.numberOfSections = 3;
  file.timeDateStamp = TimeStamp;
  file.pointerToSymbolTable = symbolsAt;
  file.numberOfSymbols = 8;
  file.sizeOfOptionalHeader = Pe32OptionalHeader::kSize;
  AppendRecord(*this, file.Bytes());
  AppendRecord(*this, Pe32OptionalHeader{}.Bytes());

  AppendRecord(*this, DebugSection(DebugBlockSize(*this), debugAt).Bytes());
  SectionHeader idata2 = DataSection(".idata$2", kIdata2Size, idata2At);
  idata2.pointerToRelocations = relocAt;
  idata2.numberOfRelocations = kDescriptorRelocations;
  AppendRecord(*this, idata2.Bytes());
  SectionHeader idata6 =
      DataSection(".idata$6", idata6Size, idata6At, kSectionIdata6Characteristics);
  // It has no relocations; the pointer repeats the one of ".idata$2" all the same.
  idata6.pointerToRelocations = relocAt;
  AppendRecord(*this, idata6.Bytes());

  AppendDebugBlock(*this);
  AppendZeros(*this, kIdata2Size);
  // The directory entry's name, lookup table and address table fields.
  AppendRecord(*this, Relocation{12, 3}.Bytes());
  AppendRecord(*this, Relocation{0, 4}.Bytes());
  AppendRecord(*this, Relocation{16, 5}.Bytes());
  const std::int32_t idata6Start = BufferLength;
  AppendDllName(*this);
  AppendZeros(*this, idata6Size - static_cast<std::uint32_t>(BufferLength - idata6Start));

  AppendRecord(*this, kCompIdSymbol.Bytes());
  AppendRecord(*this, ExternalSymbol(descriptorName, 2).Bytes());
  AppendRecord(*this, SectionSymbol(".idata$2", kSectionSymbolValue, 2, kClassSection).Bytes());
  AppendRecord(*this, SectionSymbol(".idata$6", 0, 3, kClassStatic).Bytes());
  AppendRecord(*this, SectionSymbol(".idata$4", kSectionSymbolValue, 0, kClassSection).Bytes());
  AppendRecord(*this, SectionSymbol(".idata$5", kSectionSymbolValue, 0, kClassSection).Bytes());
  AppendRecord(*this, ExternalSymbol(nullDescriptorName, 0).Bytes());
  AppendRecord(*this, ExternalSymbol(nullThunkName, 0).Bytes());

  std::uint8_t size[4];
  StoreLittle(size, stringTableSize);
  AppendBytes(size, sizeof size);
  AppendImportDescriptorName(*this);
  AppendNullDescriptorName(*this);
  AppendNullThunkName(*this);
}

void TFichierLib::BuildNullImportDescriptor() {
  BufferLength = 0;
  NullDescriptorPos = FilePos;
  const std::uint32_t debugAt = SectionsEnd(2);
  const std::uint32_t idata3At = debugAt + DebugBlockSize(*this);
  const std::uint32_t symbolsAt = idata3At + kIdata3Size;

  FileHeader file;
  file.numberOfSections = 2;
  file.timeDateStamp = TimeStamp;
  file.pointerToSymbolTable = symbolsAt;
  file.numberOfSymbols = 2;
  AppendRecord(*this, file.Bytes());
  AppendRecord(*this, DebugSection(DebugBlockSize(*this), debugAt).Bytes());
  AppendRecord(*this, DataSection(".idata$3", kIdata3Size, idata3At).Bytes());
  AppendDebugBlock(*this);
  AppendZeros(*this, kIdata3Size);
  AppendRecord(*this, kCompIdSymbol.Bytes());
  AppendRecord(*this, ExternalSymbol(kStringTableSizeField, 2).Bytes());

  std::uint8_t size[4];
  StoreLittle(size, Size32(kStringTableSizeField + kNullImportDescriptor.size() + 1));
  AppendBytes(size, sizeof size);
  AppendNullDescriptorName(*this);
}

void TFichierLib::BuildNullThunk() {
  BufferLength = 0;
  NullThunkPos = FilePos;
  const std::size_t baseLength = BaseName(*this).size();
  const std::uint32_t debugAt = SectionsEnd(3);
  const std::uint32_t idata5At = debugAt + DebugBlockSize(*this);
  const std::uint32_t idata4At = idata5At + kThunkSize;
  const std::uint32_t symbolsAt = idata4At + kThunkSize;

  FileHeader file;
  file.numberOfSections = 3;
  file.timeDateStamp = TimeStamp;
  file.pointerToSymbolTable = symbolsAt;
  file.numberOfSymbols = 2;
  AppendRecord(*this, file.Bytes());
  AppendRecord(*this, DebugSection(DebugBlockSize(*this), debugAt).Bytes());
  AppendRecord(*this, DataSection(".idata$5", kThunkSize, idata5At).Bytes());
  AppendRecord(*this, DataSection(".idata$4", kThunkSize, idata4At).Bytes());
  AppendDebugBlock(*this);
  AppendZeros(*this, 2 * kThunkSize);
  AppendRecord(*this, kCompIdSymbol.Bytes());
  AppendRecord(*this, ExternalSymbol(kStringTableSizeField, 2).Bytes());

  std::uint8_t size[4];
  StoreLittle(size, Size32(kStringTableSizeField + 1 + baseLength + kNullThunkSuffix.size() + 1));
  AppendBytes(size, sizeof size);
  AppendNullThunkName(*this);
}
