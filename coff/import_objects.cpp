// The three small COFF objects that build the DLL's import directory entry:
// the import descriptor, the null import descriptor (the directory's
// terminator) and the null thunk (the terminators of the DLL's address and
// lookup tables), and the long-format import object. Each object's
// pointers follow from the sizes of what precedes them, and those depend
// only on the DLL's base name.
#include <algorithm>
#include <initializer_list>

#include "coff/import_members.h"
#include "model/machine.h"

using namespace coff;

namespace {

constexpr std::uint32_t kIdata3Size = 20;  // the terminating entry
constexpr std::uint32_t kDescriptorRelocations = 3;

constexpr std::uint32_t kSectionDebugCharacteristics = 0x42100040;  // discardable, read
// The value of a section symbol: the section's characteristics.
constexpr std::uint32_t kSectionSymbolValue = 0xC0000040;

// The first symbol of every object: the producing tool's build number.
constexpr Symbol kCompIdSymbol = Symbol::Short("@comp.id", 0x00041FE8, kSectionAbsolute, kClassStatic);


// What the machine changes in the objects: the relocation type of an
// address relative to the image base, the width of the lookup and address
// slots, and the machine as the debug records number it.
struct Target {
  Machine machine = Machine::I386;
  std::uint16_t rva32 = kRelocI386Rva32;
  std::uint32_t slotSize = kThunkSize32;
  std::uint16_t debugMachine = 3;

  bool Intel32() const { return machine == Machine::I386; }
  std::uint32_t SlotCharacteristics() const {
    return Intel32() ? kSectionIdataCharacteristics : kSectionIdata8Characteristics;
  }
};

Target TargetOf(Machine machine) {
  switch (machine) {
    case Machine::Amd64: return {machine, kRelocAmd64Rva32, kThunkSize64, 0xD0};
    case Machine::Arm64: return {machine, kRelocArm64Rva32, kThunkSize64, 0xF6};
    default: return {};
  }
}

// The PE32 optional header the import descriptor object carries; only the
// fields below are set, everything else (the data directories included)
// is zero.
coffhdr::OptionalHeader32 DescriptorOptionalHeader() {
  coffhdr::OptionalHeader32 h;
  h.majorLinkerVersion = 6;
  h.minorLinkerVersion = 0;
  h.sectionAlignment = 0x1000;
  h.fileAlignment = 0x200;
  h.majorOperatingSystemVersion = 4;
  h.minorOperatingSystemVersion = 0;
  h.subsystem = 3;  // console
  h.sizeOfStackReserve = 0x100000;
  h.sizeOfStackCommit = 0x1000;
  h.sizeOfHeapReserve = 0x100000;
  h.sizeOfHeapCommit = 0x1000;
  h.numberOfRvaAndSizes = coffhdr::DataDirectory::kCount;
  return h;
}
constexpr std::uint32_t kDescriptorOptionalHeaderSize =
    coffhdr::OptionalHeader32::kSize + coffhdr::DataDirectory::kCount * coffhdr::DataDirectory::kSize;

// ---- The ".debug$S" block each object carries ------------------------------

// The object-name record: the block's signature, the record's length and
// kind, then the name behind a one-byte length.
struct DebugHead {
  static constexpr std::size_t kSize = 13;
  std::uint32_t signature = 2;
  std::uint16_t recordLength = 0;  // what follows this field, the name included
  std::uint16_t kind = 0x0009;
  std::uint32_t zero = 0;
  std::uint8_t nameLength = 0;

  template <typename Self, typename Visit>
  static constexpr void Fields(Self& r, Visit&& v) {
    v(r.signature), v(r.recordLength), v(r.kind), v(r.zero), v(r.nameLength);
  }
};
static_assert(records::SizeOf<DebugHead>() == DebugHead::kSize);
constexpr std::size_t kObjectNameRecordFixed = DebugHead::kSize - records::OffsetOf(&DebugHead::kind);

// The compile record: the producing tool, its machine and versions, then
// the tool's name behind a one-byte length and a closing zero.
inline constexpr std::string_view kToolName = "Microsoft (R) LINK";
struct CompileRecord {
  static constexpr std::size_t kSize = 23;
  std::uint16_t recordLength = 0;
  std::uint16_t kind = 0x1013;
  std::uint32_t flags = 7;  // language byte 7
  std::uint16_t machine = 3;  // the debug records' own numbering: Intel 386
  std::uint16_t frontEndMajor = 0, frontEndMinor = 0, frontEndBuild = 0;
  std::uint16_t backEndMajor = 6, backEndMinor = 0, backEndBuild = 0x1FE8;
  std::uint8_t toolNameLength = static_cast<std::uint8_t>(kToolName.size());

  template <typename Self, typename Visit>
  static constexpr void Fields(Self& r, Visit&& v) {
    v(r.recordLength), v(r.kind), v(r.flags), v(r.machine), v(r.frontEndMajor),
        v(r.frontEndMinor), v(r.frontEndBuild), v(r.backEndMajor), v(r.backEndMinor),
        v(r.backEndBuild), v(r.toolNameLength);
  }
};
static_assert(records::SizeOf<CompileRecord>() == CompileRecord::kSize);
constexpr std::size_t kDebugTailSize = CompileRecord::kSize + kToolName.size() + 1;

// The object-name record holds its name behind a one-byte length.
constexpr std::size_t kMaxDebugObjectName = 255;

std::size_t DebugNameLength(const DllNames& dll) {
  return std::min(dll.file.size(), kMaxDebugObjectName);
}

std::uint32_t DebugBlockSize(const DllNames& dll) {
  return Size32(DebugHead::kSize + DebugNameLength(dll) + kDebugTailSize);
}

// The ".debug$S" data: the object's name (D) and the producing tool.
void AppendDebugBlock(Bytes& out, const DllNames& dll, const Target& target) {
  const std::size_t nameLength = DebugNameLength(dll);
  DebugHead head;
  head.recordLength = static_cast<std::uint16_t>(kObjectNameRecordFixed + nameLength);
  head.nameLength = static_cast<std::uint8_t>(nameLength);
  AppendRecord(out, head);
  AppendText(out, std::string_view(dll.file).substr(0, nameLength));
  CompileRecord compile;
  compile.recordLength = static_cast<std::uint16_t>(kDebugTailSize - sizeof compile.recordLength);
  compile.machine = target.debugMachine;
  AppendRecord(out, compile);
  AppendName(out, kToolName);
}

SectionHeader DebugSection(std::uint32_t size, std::uint32_t at) {
  SectionHeader s;
  s.name = records::Text<SectionHeader::kNameWidth>(kDebugSection);
  s.sizeOfRawData = size;
  s.pointerToRawData = at;
  s.characteristics = kSectionDebugCharacteristics;
  return s;
}

SectionHeader DataSection(std::string_view name, std::uint32_t size, std::uint32_t at,
                          std::uint32_t characteristics = kSectionIdataCharacteristics) {
  SectionHeader s;
  s.name = records::Text<SectionHeader::kNameWidth>(name);
  s.sizeOfRawData = size;
  s.pointerToRawData = at;
  s.characteristics = characteristics;
  return s;
}

Symbol SectionSymbol(std::string_view name, std::uint32_t value, std::int16_t section,
                     std::uint8_t storageClass) {
  return Symbol::Short(name, value, section, storageClass);
}

Symbol ExternalSymbol(std::uint32_t stringOffset, std::int16_t section) {
  return Symbol::Long(stringOffset, 0, section, kClassExternal);
}

std::uint32_t SectionsEnd(std::uint32_t sections, std::uint32_t optionalHeader = 0) {
  return Size32(FileHeader::kSize + optionalHeader + sections * SectionHeader::kSize);
}

void AppendStringTableSize(Bytes& out, std::uint32_t size) {
  const std::size_t at = out.size();
  out.resize(at + sizeof size);
  records::StoreLittle(out.data() + at, size);
}

FileHeader ObjectHeader(const Target& target, std::uint16_t sections, std::int32_t stamp,
                        std::uint32_t symbolsAt, std::uint32_t symbols) {
  FileHeader file;
  file.machine = MachineNumber(target.machine);
  file.numberOfSections = sections;
  file.timeDateStamp = stamp;
  file.pointerToSymbolTable = symbolsAt;
  file.numberOfSymbols = symbols;
  file.characteristics = target.Intel32() ? coffhdr::k32BitMachine : 0;
  return file;
}

}  // namespace

namespace coff {

Bytes ImportDescriptorObject(const DllNames& dll, std::int32_t stamp, Machine machine) {
  const Target target = TargetOf(machine);
  // Only the 32-bit Intel object carries an optional header.
  const std::uint32_t optionalSize = target.Intel32() ? kDescriptorOptionalHeaderSize : 0;
  const std::string descriptor = ImportDescriptorSymbol(dll);
  const std::string nullThunk = NullThunkSymbol(dll);
  // D and its zero, padded to an even size.
  const std::uint32_t idata6Size = Size32((dll.file.size() + 2) & ~std::size_t{1});
  const std::uint32_t debugAt = SectionsEnd(3, optionalSize);
  const std::uint32_t idata2At = debugAt + DebugBlockSize(dll);
  const std::uint32_t relocAt = idata2At + ImportDirectoryEntry::kSize;
  const std::uint32_t idata6At = relocAt + kDescriptorRelocations * Relocation::kSize;
  const std::uint32_t symbolsAt = idata6At + idata6Size;
  const std::uint32_t descriptorName = kStringTableSizeField;
  const std::uint32_t nullDescriptorName = Size32(descriptorName + descriptor.size() + 1);
  const std::uint32_t nullThunkName = Size32(nullDescriptorName + kNullImportDescriptor.size() + 1);
  const std::uint32_t stringTableSize = Size32(nullThunkName + nullThunk.size() + 1);

  Bytes out;
  FileHeader file = ObjectHeader(target, 3, stamp, symbolsAt, 8);
  file.sizeOfOptionalHeader = static_cast<std::uint16_t>(optionalSize);
  AppendRecord(out, file);
  if (optionalSize != 0) {
    AppendRecord(out, DescriptorOptionalHeader());
    for (std::size_t d = 0; d < coffhdr::DataDirectory::kCount; ++d)
      AppendRecord(out, coffhdr::DataDirectory{});
  }

  AppendRecord(out, DebugSection(DebugBlockSize(dll), debugAt));
  SectionHeader idata2 = DataSection(kDirectorySection, ImportDirectoryEntry::kSize, idata2At);
  idata2.pointerToRelocations = relocAt;
  idata2.numberOfRelocations = kDescriptorRelocations;
  AppendRecord(out, idata2);
  SectionHeader idata6 =
      DataSection(kNamesSection, idata6Size, idata6At, kSectionIdata6Characteristics);
  // It has no relocations; the pointer repeats the one of ".idata$2" all the same.
  idata6.pointerToRelocations = relocAt;
  AppendRecord(out, idata6);

  AppendDebugBlock(out, dll, target);
  AppendZeros(out, ImportDirectoryEntry::kSize);
  // The directory entry's name, lookup table and address table fields.
  AppendRecord(out, Relocation{kDirectoryNameAt, 3, target.rva32});
  AppendRecord(out, Relocation{kDirectoryLookupTableAt, 4, target.rva32});
  AppendRecord(out, Relocation{kDirectoryAddressTableAt, 5, target.rva32});
  AppendName(out, dll.file);
  AppendZeros(out, idata6Size - (dll.file.size() + 1));

  AppendRecord(out, kCompIdSymbol);
  AppendRecord(out, ExternalSymbol(descriptorName, 2));
  AppendRecord(out, SectionSymbol(kDirectorySection, kSectionSymbolValue, 2, kClassSection));
  AppendRecord(out, SectionSymbol(kNamesSection, 0, 3, kClassStatic));
  AppendRecord(out, SectionSymbol(kLookupSection, kSectionSymbolValue, 0, kClassSection));
  AppendRecord(out, SectionSymbol(kAddressSection, kSectionSymbolValue, 0, kClassSection));
  AppendRecord(out, ExternalSymbol(nullDescriptorName, 0));
  AppendRecord(out, ExternalSymbol(nullThunkName, 0));

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
  std::uint32_t characteristics = kSectionIdataCharacteristics;
};

// The null import descriptor and the null thunk have one shape: the debug
// block of `debugDll`, then zero-filled data sections, and one external
// symbol defined at the start of the first of them. Without `debugDll`,
// the lean shape of LLVM's librarian: no debug block and no "@comp.id".
Bytes OneSymbolObject(const DllNames* debugDll, std::int32_t stamp, const Target& target,
                      std::initializer_list<ZeroSection> sections, std::string_view symbol) {
  const std::uint32_t debugSize = debugDll ? DebugBlockSize(*debugDll) : 0;
  const auto count = static_cast<std::uint16_t>(sections.size() + (debugDll ? 1 : 0));
  const std::uint32_t debugAt = SectionsEnd(count);
  std::uint32_t dataAt = debugAt + debugSize;
  std::uint32_t dataSize = 0;
  for (const ZeroSection& z : sections) dataSize += z.size;

  Bytes out;
  AppendRecord(out, ObjectHeader(target, count, stamp, dataAt + dataSize, debugDll ? 2 : 1));
  if (debugDll) AppendRecord(out, DebugSection(debugSize, debugAt));
  for (const ZeroSection& z : sections) {
    AppendRecord(out, DataSection(z.name, z.size, dataAt, z.characteristics));
    dataAt += z.size;
  }
  if (debugDll) AppendDebugBlock(out, *debugDll, target);
  AppendZeros(out, dataSize);
  if (debugDll) AppendRecord(out, kCompIdSymbol);
  // The symbol's section: the first data section, after the debug one.
  AppendRecord(out, ExternalSymbol(kStringTableSizeField, debugDll ? 2 : 1));
  AppendStringTableSize(out, Size32(kStringTableSizeField + symbol.size() + 1));
  AppendName(out, symbol);
  return out;
}

}  // namespace

Bytes NullImportDescriptorObject(const DllNames& dll, std::int32_t stamp, Machine machine) {
  return OneSymbolObject(&dll, stamp, TargetOf(machine), {{kNullDirectorySection, kIdata3Size}},
                         kNullImportDescriptor);
}

Bytes NullThunkObject(const DllNames& dll, std::int32_t stamp, Machine machine) {
  const Target target = TargetOf(machine);
  const std::uint32_t c = target.SlotCharacteristics();
  return OneSymbolObject(&dll, stamp, target,
                         {{kAddressSection, target.slotSize, c}, {kLookupSection, target.slotSize, c}},
                         NullThunkSymbol(dll));
}

// Sections: [.text,] .idata$2, .idata$4, .idata$5, .idata$6. Symbols: one
// per section, then [S,] __imp_S and the undefined null import descriptor,
// which brings the directory's terminator into the program.
Bytes LongImportObject(const ImportMember& import, std::int32_t stamp) {
  const Target target = TargetOf(import.machine);
  const bool arm64 = import.machine == Machine::Arm64;
  const std::uint32_t slotSize = target.slotSize;
  const std::uint32_t thunkSize = Size32(arm64 ? kArm64Thunk.size() : kJumpThunk.size());
  const std::uint16_t thunkRelocations = arm64 ? 2 : 1;
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
  // By name: the hint/name's place, relocated.
  const std::uint64_t slot =
      !byOrdinal ? 0 : (target.Intel32() ? kOrdinalFlag32 : kOrdinalFlag64) | import.hint;
  const std::uint16_t slotRelocations = byOrdinal ? 0 : 1;

  std::uint32_t at = SectionsEnd(sections);
  auto place = [&at](std::uint32_t size) { const std::uint32_t here = at; at += size; return here; };
  SectionHeader text = DataSection(kTextSection, thunkSize, 0, kSectionTextCharacteristics);
  if (code) {
    text.pointerToRawData = place(text.sizeOfRawData);
    text.pointerToRelocations = place(thunkRelocations * Relocation::kSize);
    text.numberOfRelocations = thunkRelocations;
  }
  SectionHeader dir = DataSection(kDirectorySection, ImportDirectoryEntry::kSize, place(ImportDirectoryEntry::kSize));
  dir.pointerToRelocations = place(3 * Relocation::kSize);
  dir.numberOfRelocations = 3;
  const std::uint32_t slotsC = target.SlotCharacteristics();
  SectionHeader lookup = DataSection(kLookupSection, 2 * slotSize, place(2 * slotSize), slotsC);
  if (!byOrdinal) lookup.pointerToRelocations = place(Relocation::kSize);
  lookup.numberOfRelocations = slotRelocations;
  SectionHeader address = DataSection(kAddressSection, 2 * slotSize, place(2 * slotSize), slotsC);
  if (!byOrdinal) address.pointerToRelocations = place(Relocation::kSize);
  address.numberOfRelocations = slotRelocations;
  SectionHeader names = DataSection(kNamesSection, idata6Size, place(idata6Size), kSectionIdata6Characteristics);
  const std::uint32_t symbolsAt = at;

  // Long names go to the string table.
  std::vector<std::string_view> strings;
  std::uint32_t stringsSize = kStringTableSizeField;
  auto named = [&](std::string_view symbolName, std::int16_t section) {
    if (symbolName.size() <= 8) return Symbol::Short(symbolName, 0, section, kClassExternal);
    const Symbol r = Symbol::Long(stringsSize, 0, section, kClassExternal);
    stringsSize += Size32(symbolName.size() + 1);
    strings.push_back(symbolName);
    return r;
  };

  Bytes out;
  AppendRecord(out, ObjectHeader(target, sections, stamp, symbolsAt, importSymbol + 2));
  if (code) AppendRecord(out, text);
  for (const SectionHeader& s : {dir, lookup, address, names}) AppendRecord(out, s);

  if (code && arm64) {
    AppendBytes(out, kArm64Thunk.data(), kArm64Thunk.size());
    AppendRecord(out, Relocation{0, importSymbol, kRelocArm64PageBase21});
    AppendRecord(out, Relocation{kArm64ThunkLoad, importSymbol, kRelocArm64PageOffset12L});
  } else if (code) {
    AppendBytes(out, kJumpThunk.data(), kJumpThunk.size());
    // x64's jmp is relative to the next instruction; 32-bit Intel's names the slot's address.
    AppendRecord(out, Relocation{kJumpThunkTarget, importSymbol,
                                 target.Intel32() ? kRelocI386Dir32 : kRelocAmd64Rel32});
  }
  // The directory entry; the DLL name's place is its offset in .idata$6.
  ImportDirectoryEntry entry;
  entry.nameRva = dllNameAt;
  AppendRecord(out, entry);
  AppendRecord(out, Relocation{kDirectoryLookupTableAt, idata4Symbol, target.rva32});
  AppendRecord(out, Relocation{kDirectoryNameAt, idata6Symbol, target.rva32});
  AppendRecord(out, Relocation{kDirectoryAddressTableAt, idata5Symbol, target.rva32});
  for (int table = 0; table < 2; ++table) {
    std::array<std::uint8_t, 2 * kThunkSize64> slots{};
    if (target.Intel32()) records::StoreLittle(slots.data(), static_cast<std::uint32_t>(slot));
    else records::StoreLittle(slots.data(), slot);
    AppendBytes(out, slots.data(), 2 * slotSize);
    if (!byOrdinal) AppendRecord(out, Relocation{0, idata6Symbol, target.rva32});
  }
  const std::size_t namesStart = out.size();
  if (!byOrdinal) {
    std::array<std::uint8_t, kHintSize> hint{};
    records::StoreLittle(hint.data(), import.hint);
    AppendBytes(out, hint.data(), hint.size());
    AppendName(out, name);
    AppendZeros(out, namesStart + hintNameSize - out.size());
  }
  AppendName(out, import.dll->file);
  AppendZeros(out, namesStart + idata6Size - out.size());

  if (code) AppendRecord(out, SectionSymbol(kTextSection, 0, 1, kClassStatic));
  AppendRecord(out, SectionSymbol(kDirectorySection, 0, idata2, kClassStatic));
  AppendRecord(out, SectionSymbol(kLookupSection, 0, idata4, kClassStatic));
  AppendRecord(out, SectionSymbol(kAddressSection, 0, idata5, kClassStatic));
  AppendRecord(out, SectionSymbol(kNamesSection, 0, idata6, kClassStatic));
  const std::string impName = ImportSymbol(import.symbol);
  if (code) AppendRecord(out, named(import.symbol, 1));
  AppendRecord(out, named(impName, idata5));
  AppendRecord(out, named(kNullImportDescriptor, kSectionUndefined));
  AppendStringTableSize(out, stringsSize);
  for (std::string_view s : strings) AppendName(out, s);
  return out;
}

}  // namespace coff

namespace coff {

DllNames DllNamesOf(std::string_view file) {
  DllNames names{std::string(file), std::string(file)};
  const std::size_t dot = names.base.rfind('.');
  if (dot != std::string::npos) names.base.erase(dot);
  return names;
}

std::string ImportDescriptorSymbol(const DllNames& dll) {
  return std::string(kImportDescriptorPrefix) + dll.base;
}

std::string NullThunkSymbol(const DllNames& dll) {
  return kNullThunkLead + dll.base + std::string(kNullThunkSuffix);
}

std::string ImportSymbol(std::string_view symbol) {
  return std::string(kImportPrefix) + std::string(symbol);
}

}  // namespace coff

// ---- The fixed objects in their lean form --------------------------------
//
// The shape LLVM's librarian gives them: no debug block, no "@comp.id"
// symbol, section symbols of value 0. Hybrid (ARM64X) libraries are read
// by tools that compare them with that librarian's, so they carry these.

namespace coff {

Bytes LeanImportDescriptorObject(const DllNames& dll, std::int32_t stamp, Machine machine) {
  const Target target = TargetOf(machine);
  const std::string descriptor = ImportDescriptorSymbol(dll);
  const std::string nullThunk = NullThunkSymbol(dll);
  // The name and its terminator, unpadded, as LLVM's librarians size it.
  const std::uint32_t idata6Size = Size32(dll.file.size() + 1);
  const std::uint32_t idata2At = SectionsEnd(2);
  const std::uint32_t relocAt = idata2At + ImportDirectoryEntry::kSize;
  const std::uint32_t idata6At = relocAt + kDescriptorRelocations * Relocation::kSize;
  const std::uint32_t symbolsAt = idata6At + idata6Size;
  const std::uint32_t descriptorName = kStringTableSizeField;
  const std::uint32_t nullDescriptorName = Size32(descriptorName + descriptor.size() + 1);
  const std::uint32_t nullThunkName = Size32(nullDescriptorName + kNullImportDescriptor.size() + 1);

  Bytes out;
  AppendRecord(out, ObjectHeader(target, 2, stamp, symbolsAt, 7));
  SectionHeader idata2 = DataSection(kDirectorySection, ImportDirectoryEntry::kSize, idata2At);
  idata2.pointerToRelocations = relocAt;
  idata2.numberOfRelocations = kDescriptorRelocations;
  AppendRecord(out, idata2);
  AppendRecord(out, DataSection(kNamesSection, idata6Size, idata6At, kSectionIdata6Characteristics));
  AppendZeros(out, ImportDirectoryEntry::kSize);
  AppendRecord(out, Relocation{kDirectoryNameAt, 2, target.rva32});
  AppendRecord(out, Relocation{kDirectoryLookupTableAt, 3, target.rva32});
  AppendRecord(out, Relocation{kDirectoryAddressTableAt, 4, target.rva32});
  AppendName(out, dll.file);
  AppendZeros(out, idata6Size - (dll.file.size() + 1));

  AppendRecord(out, ExternalSymbol(descriptorName, 1));
  AppendRecord(out, SectionSymbol(kDirectorySection, 0, 1, kClassSection));
  AppendRecord(out, SectionSymbol(kNamesSection, 0, 2, kClassStatic));
  AppendRecord(out, SectionSymbol(kLookupSection, 0, 0, kClassSection));
  AppendRecord(out, SectionSymbol(kAddressSection, 0, 0, kClassSection));
  AppendRecord(out, ExternalSymbol(nullDescriptorName, 0));
  AppendRecord(out, ExternalSymbol(nullThunkName, 0));
  AppendStringTableSize(out, Size32(nullThunkName + nullThunk.size() + 1));
  AppendName(out, descriptor);
  AppendName(out, kNullImportDescriptor);
  AppendName(out, nullThunk);
  return out;
}

Bytes LeanNullImportDescriptorObject(std::int32_t stamp, Machine machine) {
  return OneSymbolObject(nullptr, stamp, TargetOf(machine), {{kNullDirectorySection, kIdata3Size}},
                         kNullImportDescriptor);
}

Bytes LeanNullThunkObject(const DllNames& dll, std::int32_t stamp, Machine machine) {
  const Target target = TargetOf(machine);
  const std::uint32_t c = target.SlotCharacteristics();
  return OneSymbolObject(nullptr, stamp, target,
                         {{kAddressSection, target.slotSize, c}, {kLookupSection, target.slotSize, c}},
                         NullThunkSymbol(dll));
}

Bytes WeakAliasObject(const std::string& weak, const std::string& target, Machine machine) {
  constexpr std::uint32_t kDrectveCharacteristics = 0x00000A00;  // linker information, removed
  FileHeader file = ObjectHeader(TargetOf(machine), 1, 0, SectionsEnd(1), 5);
  file.characteristics = 0;
  const std::uint32_t weakName = Size32(kStringTableSizeField + target.size() + 1);
  Bytes out;
  AppendRecord(out, file);
  AppendRecord(out, DataSection(".drectve", 0, 0, kDrectveCharacteristics));
  AppendRecord(out, Symbol::Short("@comp.id", 0, kSectionAbsolute, kClassStatic));
  AppendRecord(out, Symbol::Short("@feat.00", 0, kSectionAbsolute, kClassStatic));
  AppendRecord(out, ExternalSymbol(kStringTableSizeField, 0));
  Symbol alias = Symbol::Long(weakName, 0, 0, kClassWeakExternal);
  alias.numberOfAuxSymbols = 1;
  AppendRecord(out, alias);
  Symbol aux;  // tag index 2: the target above
  records::StoreLittle(aux.name.data(), std::uint32_t{2});
  records::StoreLittle(aux.name.data() + 4, kWeakSearchAlias);
  AppendRecord(out, aux);
  AppendStringTableSize(out, Size32(weakName + weak.size() + 1));
  AppendName(out, target);
  AppendName(out, weak);
  return out;
}

}  // namespace coff
