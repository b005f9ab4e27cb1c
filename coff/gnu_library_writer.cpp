// The GNU import library writer: for each DLL a head object (the import
// directory entry, and the labels where the DLL's lookup and address
// tables start), one object per import (its slot in both tables, its
// hint/name, and for code a jump thunk), and a tail object (both tables'
// terminators and the DLL name). GNU ld and lld lay each section out in
// the order of its objects' names, so the member names keep head, imports
// and tail of one DLL in that order and apart from every other DLL's.
//
// No time stamp anywhere: the same list gives the same bytes.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <new>
#include <set>
#include <span>

#include "coff/coff.h"
#include "coff/delay_code.h"
#include "coff/import_members.h"
#include "coff/object_builder.h"
#include "model/decorated_names.h"
#include "model/dll_names.h"
#include "model/machine.h"

namespace coff {

namespace {

// What the machine changes: the relocation of an address relative to the
// image base, the slot width, the prefix C symbols carry.
struct GnuTarget {
  Machine machine;
  std::uint16_t rva32;
  std::uint32_t slotSize;
  std::string_view underscore;
  std::uint32_t SlotCharacteristics() const {
    return slotSize == kThunkSize32 ? kSectionIdataCharacteristics : kSectionIdata8Characteristics;
  }
};

GnuTarget GnuTargetOf(Machine machine) {
  switch (machine) {
    case Machine::Amd64: return {machine, kRelocAmd64Rva32, kThunkSize64, ""};
    case Machine::Arm64: return {machine, kRelocArm64Rva32, kThunkSize64, ""};
    default: return {Machine::I386, kRelocI386Rva32, kThunkSize32, "_"};
  }
}

// The fixed symbols of one DLL's objects, after a label made of its name
// ("my-lib.dll" gives "my_lib_dll"): the head's "_head_" symbol, which
// GNU ld looks for when it imports data on its own, and the tail's DLL
// name.
struct GnuLabels {
  std::string label;
  std::string head;
  std::string dllName;
};

std::string LabelOf(std::string_view dllFile) {
  std::string label(dllFile);
  for (char& c : label)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return label;
}

GnuLabels LabelsOf(const std::string& label, const GnuTarget& target) {
  return {label, std::string(target.underscore) + "_head_" + label, "__" + label + "_iname"};
}

Bytes Zeros(std::size_t count) { return Bytes(count, 0); }

// Text and its zero byte, padded to an even size.
Bytes NameBytes(std::string_view text) {
  Bytes out;
  AppendName(out, text);
  if (out.size() % 2) out.push_back(0);
  return out;
}

ObjectSymbol SectionSymbol(std::string_view name, std::int16_t section) {
  return {std::string(name), section, 0, kClassStatic};
}

// .idata$2: the directory entry, its lookup table and address table
// starting here, its DLL name in the tail.
Bytes HeadObject(const GnuLabels& l, const GnuTarget& t) {
  const std::uint32_t c = t.SlotCharacteristics();
  std::vector<ObjectSection> sections = {
      {kDirectorySection, kSectionIdataCharacteristics, Zeros(ImportDirectoryEntry::kSize),
       {{kDirectoryLookupTableAt, 2, t.rva32}, {kDirectoryNameAt, 4, t.rva32},
        {kDirectoryAddressTableAt, 1, t.rva32}}},
      {kAddressSection, c, {}, {}},
      {kLookupSection, c, {}, {}},
  };
  return BuildObject(t.machine, sections,
                     {SectionSymbol(kDirectorySection, 1), SectionSymbol(kAddressSection, 2),
                      SectionSymbol(kLookupSection, 3), {l.head, 1}, {l.dllName, kSectionUndefined}});
}

// Both tables' terminating slots, and the DLL name.
Bytes TailObject(const GnuLabels& l, const DllNames& dll, const GnuTarget& t) {
  const std::uint32_t c = t.SlotCharacteristics();
  std::vector<ObjectSection> sections = {
      {kLookupSection, c, Zeros(t.slotSize), {}},
      {kAddressSection, c, Zeros(t.slotSize), {}},
      {kHeadLinkSection, kSectionIdataCharacteristics, NameBytes(dll.file), {}},
  };
  return BuildObject(t.machine, sections,
                     {SectionSymbol(kLookupSection, 1), SectionSymbol(kAddressSection, 2),
                      SectionSymbol(kHeadLinkSection, 3), {l.dllName, 3}});
}

// The slot of both tables: the ordinal with the ordinal flag, or zero
// relocated to the hint/name.
Bytes SlotBytes(const ImportMember& import, const GnuTarget& t) {
  Bytes slot = Zeros(t.slotSize);
  if (import.nameType != NameType::Ordinal) return slot;
  if (t.slotSize == kThunkSize32) records::StoreLittle(slot.data(), kOrdinalFlag32 | import.hint);
  else records::StoreLittle(slot.data(), kOrdinalFlag64 | import.hint);
  return slot;
}

// The jump through the import's address slot, and its relocations to
// the "__imp_" symbol at index impSymbol.
ObjectSection JumpThunk(const GnuTarget& t, std::uint32_t impSymbol) {
  if (t.machine == Machine::Arm64)
    return {kTextSection, kSectionTextCharacteristics, Bytes(kArm64Thunk.begin(), kArm64Thunk.end()),
            {{0, impSymbol, kRelocArm64PageBase21}, {kArm64ThunkLoad, impSymbol, kRelocArm64PageOffset12L}}};
  return {kTextSection, kSectionTextCharacteristics, Bytes(kJumpThunk.begin(), kJumpThunk.end()),
          {{kJumpThunkTarget, impSymbol,
            t.machine == Machine::I386 ? kRelocI386Dir32 : kRelocAmd64Rel32}}};
}

// Sections: [.text,] .idata$7 (the link to the head), .idata$5, .idata$4
// and, by name, .idata$6. Symbols: one per section, [S,] __imp_S, the head.
Bytes ImportObject(const ImportMember& import, const GnuLabels& l, const GnuTarget& t) {
  const bool code = import.kind == ImportKind::Code;
  const bool byName = import.nameType != NameType::Ordinal;
  const std::int16_t first = code ? 2 : 1;  // .idata$7
  const auto names = static_cast<std::uint32_t>(first + 2);  // .idata$6's symbol
  const std::uint32_t sectionSymbols = static_cast<std::uint32_t>(first + (byName ? 3 : 2));
  const std::uint32_t impSymbol = sectionSymbols + (code ? 1 : 0);
  const std::uint32_t headSymbol = impSymbol + 1;

  std::vector<ObjectSection> sections;
  std::vector<ObjectSymbol> symbols;
  if (code) {
    sections.push_back(JumpThunk(t, impSymbol));
    symbols.push_back(SectionSymbol(kTextSection, 1));
  }
  std::vector<Relocation> toName;
  if (byName) toName.push_back({0, names, t.rva32});
  sections.push_back({kHeadLinkSection, kSectionIdataCharacteristics, Zeros(4), {{0, headSymbol, t.rva32}}});
  sections.push_back({kAddressSection, t.SlotCharacteristics(), SlotBytes(import, t), toName});
  sections.push_back({kLookupSection, t.SlotCharacteristics(), SlotBytes(import, t), toName});
  symbols.push_back(SectionSymbol(kHeadLinkSection, first));
  symbols.push_back(SectionSymbol(kAddressSection, first + 1));
  symbols.push_back(SectionSymbol(kLookupSection, first + 2));
  if (byName) {
    Bytes hintName = Zeros(kHintSize);
    records::StoreLittle(hintName.data(), import.hint);
    const Bytes name = NameBytes(import.exportName);
    hintName.insert(hintName.end(), name.begin(), name.end());
    sections.push_back({kNamesSection, kSectionIdata6Characteristics, std::move(hintName), {}});
    symbols.push_back(SectionSymbol(kNamesSection, first + 3));
  }
  if (code) symbols.push_back({import.symbol, 1});
  symbols.push_back({ImportSymbol(import.symbol), static_cast<std::int16_t>(first + 1)});
  symbols.push_back({l.head, kSectionUndefined});
  return BuildObject(t.machine, sections, symbols);
}

// ---- Delay-load objects ----------------------------------------------------

constexpr std::uint32_t kSectionReadOnlyCharacteristics = 0x40300040;  // read, align 4
constexpr std::string_view kUnwindSection = ".xdata";
constexpr std::string_view kFunctionTableSection = ".pdata";

struct DelayLabels {
  std::string tailMerge;
  std::string descriptor;
  std::string handle;
  std::string helper;
  std::string addressTable;  // each table's section for a part: + "a", "b" or "c"
  std::string lookupTable;
};

DelayLabels DelayLabelsOf(const std::string& label, const GnuTarget& t) {
  return {std::string(kTailMergePrefix) + label,
          std::string(kDelayDescriptorPrefix) + label,
          "__DLL_HANDLE_" + label,
          // The helper is a stdcall function on 32-bit Intel.
          t.machine == Machine::I386 ? "___delayLoadHelper2@8" : "__delayLoadHelper2",
          std::string(kDelayAddressPrefix) + label + "-",
          std::string(kDelayLookupPrefix) + label + "-"};
}

std::vector<Relocation> Fixups(std::span<const CodeFixup> fixups, std::uint32_t slot, std::uint32_t tailMerge,
                               std::uint32_t descriptor, std::uint32_t helper, std::uint32_t unwind) {
  std::vector<Relocation> out;
  for (const CodeFixup& f : fixups) {
    std::uint32_t symbol = 0;
    switch (f.target) {
      case CodeTarget::ImportSlot: symbol = slot; break;
      case CodeTarget::TailMerge: symbol = tailMerge; break;
      case CodeTarget::Descriptor: symbol = descriptor; break;
      case CodeTarget::Helper: symbol = helper; break;
      case CodeTarget::Unwind: symbol = unwind; break;
    }
    out.push_back({f.at, symbol, f.type});
  }
  return out;
}

// The DLL's part of a delay-load library: the trampoline, the module
// handle, the descriptor with the DLL name behind it, and the start and
// terminator of both tables.
Bytes DelayHeadObject(const DelayLabels& l, const DllNames& dll, const GnuTarget& t) {
  const DelayCode code = DelayCodeFor(t.machine);
  const std::uint32_t c = t.SlotCharacteristics();
  enum : std::uint32_t { kText, kHandle, kReadOnly, kAddressStart, kLookupStart, kTailMerge, kDescriptor, kHelper,
                         kUnwind };
  Bytes descriptor(DelayImportDescriptor::kSize);
  DelayImportDescriptor d;
  d.dllNameRva = DelayImportDescriptor::kSize;  // added to the section's address
  records::Encode(d, descriptor.data());
  const Bytes name = NameBytes(dll.file);
  descriptor.insert(descriptor.end(), name.begin(), name.end());
  const std::string addressStart = l.addressTable + "a", lookupStart = l.lookupTable + "a";
  const std::string addressEnd = l.addressTable + "c", lookupEnd = l.lookupTable + "c";
  std::vector<ObjectSection> sections = {
      {kTextSection, kSectionTextCharacteristics, Bytes(code.tailMerge.begin(), code.tailMerge.end()),
       Fixups(code.tailMergeFixups, 0, 0, kDescriptor, kHelper, 0)},
      {kDataSection, t.SlotCharacteristics(), Zeros(t.slotSize), {}},
      {kReadOnlySection, kSectionReadOnlyCharacteristics, std::move(descriptor),
       {{kDelayDllNameAt, kReadOnly, t.rva32},
        {kDelayHandleAt, kHandle, t.rva32},
        {kDelayAddressTableAt, kAddressStart, t.rva32},
        {kDelayNameTableAt, kLookupStart, t.rva32}}},
      {addressStart, c, {}, {}},
      {lookupStart, c, {}, {}},
      {addressEnd, c, Zeros(t.slotSize), {}},
      {lookupEnd, c, Zeros(t.slotSize), {}},
  };
  std::vector<ObjectSymbol> symbols = {
      SectionSymbol(kTextSection, 1), {l.handle, 2}, SectionSymbol(kReadOnlySection, 3),
      {addressStart, 4, 0, kClassStatic}, {lookupStart, 5, 0, kClassStatic},
      {l.tailMerge, 1}, {l.descriptor, 3}, {l.helper, kSectionUndefined}};
  if (!code.unwind.empty()) {
    sections.push_back({kUnwindSection, kSectionReadOnlyCharacteristics,
                        Bytes(code.unwind.begin(), code.unwind.end()), {}});
    sections.push_back({kFunctionTableSection, kSectionReadOnlyCharacteristics,
                        Bytes(code.functionEntry.begin(), code.functionEntry.end()),
                        Fixups(code.functionEntryFixups, 0, kText, 0, 0, kUnwind)});
    symbols.push_back(SectionSymbol(kUnwindSection, 8));
  }
  return BuildObject(t.machine, sections, symbols);
}

// One delay-loaded function: its code, its address slot (first the load
// stub's address), its lookup entry and hint/name.
Bytes DelayImportObject(const ImportMember& import, const DelayLabels& l, const GnuTarget& t) {
  const DelayCode code = DelayCodeFor(t.machine);
  const bool byName = import.nameType != NameType::Ordinal;
  const std::uint32_t names = 1, symbol = byName ? 2 : 1, imp = symbol + 1, tailMerge = imp + 1;
  Bytes slot = Zeros(t.slotSize);
  if (t.slotSize == kThunkSize32) records::StoreLittle(slot.data(), code.loadStubAt);
  else records::StoreLittle(slot.data(), std::uint64_t{code.loadStubAt});
  const std::uint16_t absolute = t.machine == Machine::I386    ? kRelocI386Dir32
                                 : t.machine == Machine::Amd64 ? kRelocAmd64Addr64
                                                               : kRelocArm64Addr64;
  std::vector<Relocation> toName;
  if (byName) toName.push_back({0, names, t.rva32});
  const std::string addressSlot = l.addressTable + "b", lookupSlot = l.lookupTable + "b";
  std::vector<ObjectSection> sections = {
      {kTextSection, kSectionTextCharacteristics, Bytes(code.import.begin(), code.import.end()),
       Fixups(code.importFixups, imp, tailMerge, 0, 0, 0)},
      {addressSlot, t.SlotCharacteristics(), std::move(slot), {{0, 0, absolute}}},
      {lookupSlot, t.SlotCharacteristics(), SlotBytes(import, t), toName},
  };
  std::vector<ObjectSymbol> symbols = {SectionSymbol(kTextSection, 1)};
  if (byName) {
    Bytes hintName = Zeros(kHintSize);
    const Bytes name = NameBytes(import.exportName);
    hintName.insert(hintName.end(), name.begin(), name.end());
    sections.push_back({kDelayNamesSection, kSectionIdata6Characteristics, std::move(hintName), {}});
    symbols.push_back(SectionSymbol(kDelayNamesSection, 4));
  }
  symbols.push_back({import.symbol, 1});
  symbols.push_back({ImportSymbol(import.symbol), 2});
  symbols.push_back({l.tailMerge, kSectionUndefined});
  return BuildObject(t.machine, sections, symbols);
}

}  // namespace

Outcome BuildGnuLibrary(const std::string& fileName, ExportList& list, Bytes& out) {
  if (const std::string why = WrongMachine(list, ListForm::Gnu); !why.empty())
    return Outcome::Refused(why);
  try {
    const GnuTarget target = GnuTargetOf(list.SourceMachine);
    Plan plan = PlanImports(list.Fonctions, target.machine, DllFor(list, fileName));
    // One label per DLL; two DLL names that make one label ("a-b.dll",
    // "a_b.dll") are told apart by a number.
    std::vector<GnuLabels> labels;
    std::set<std::string> taken;
    for (const DllNames& dll : plan.dlls) {
      std::string label = LabelOf(dll.file);
      for (std::size_t n = 2; taken.count(label); ++n) label = LabelOf(dll.file) + "_" + std::to_string(n);
      taken.insert(label);
      labels.push_back(LabelsOf(label, target));
    }

    Archive a;
    a.gnu = true;
    a.longNames = true;
    auto add = [&](std::string name, Bytes data) {
      a.members.push_back({std::move(name) + "/", std::move(data)});
      a.table.push_back(static_cast<std::uint32_t>(a.members.size() - 1));
      return static_cast<std::uint32_t>(a.table.size() - 1);
    };
    // The label never holds '-': "L-" starts only this DLL's member names.
    for (std::size_t d = 0; d < plan.dlls.size(); ++d) {
      const GnuLabels& l = labels[d];
      // The delay-loaded functions, apart from the others: their own
      // objects under labels of their own.
      const DelayLabels delay = DelayLabelsOf(l.label, target);
      bool delayHead = false;
      std::uint32_t n = 0;
      for (std::size_t i = 0; i < plan.imports.size(); ++i) {
        ImportMember& import = plan.imports[i];
        if (plan.importDll[i] != d || !import.delayed) continue;
        if (!delayHead) {
          const std::uint32_t slot = add(l.label + "-d.o", DelayHeadObject(delay, plan.dlls[d], target));
          a.symbols.push_back({delay.tailMerge, slot});
          a.symbols.push_back({delay.descriptor, slot});
          a.symbols.push_back({delay.handle, slot});
          delayHead = true;
        }
        if (import.nameType != NameType::Ordinal) import.hint = 0;
        char number[16];
        std::snprintf(number, sizeof number, "-d%05u.o", n++);
        const std::uint32_t slot = add(l.label + number, DelayImportObject(import, delay, target));
        a.symbols.push_back({import.symbol, slot});
        a.symbols.push_back({ImportSymbol(import.symbol), slot});
      }
      bool normal = false;
      for (std::size_t i = 0; i < plan.imports.size() && !normal; ++i)
        normal = plan.importDll[i] == d && !plan.imports[i].delayed;
      if (!normal && delayHead) continue;
      a.symbols.push_back({l.head, add(l.label + "-h.o", HeadObject(l, target))});
      n = 0;
      for (std::size_t i = 0; i < plan.imports.size(); ++i) {
        ImportMember& import = plan.imports[i];
        if (plan.importDll[i] != d || import.delayed) continue;
        if (import.nameType != NameType::Ordinal) import.hint = 0;
        char number[16];
        std::snprintf(number, sizeof number, "-s%05u.o", n++);
        const std::uint32_t slot = add(l.label + number, ImportObject(import, l, target));
        if (import.kind == ImportKind::Code) a.symbols.push_back({import.symbol, slot});
        a.symbols.push_back({ImportSymbol(import.symbol), slot});
      }
      a.symbols.push_back({l.dllName, add(l.label + "-t.o", TailObject(l, plan.dlls[d], target))});
    }
    return BuildArchive(a, out);
  } catch (const std::bad_alloc&) {
    return Outcome::CannotWrite(ENOMEM);
  }
}

}  // namespace coff
