#include "coff/import_member_reader.h"

#include <algorithm>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

#include "model/ec_names.h"
#include "model/decorated_names.h"
#include "model/machine.h"

namespace coff::parse {

namespace {

using SymbolsByName = std::unordered_map<std::string_view, std::uint32_t>;
using RelocationsByOffset = std::unordered_map<std::uint32_t, std::uint32_t>;

// The symbols an object defines for others to use, by name; the first of
// two with one name wins, as with a linker. In the same pass, the first
// import descriptor the object needs from elsewhere: an older Microsoft
// import object pulls its DLL's descriptor object in that way.
SymbolsByName DefinedSymbols(const ObjectView& object, std::string_view* descriptor = nullptr) {
  SymbolsByName symbols;
  object.ForEachSymbol([&](std::uint32_t i, const Symbol& s) {
    if (s.storageClass != kClassExternal) return;
    if (s.sectionNumber > 0) {
      symbols.emplace(object.SymbolName(i), i);
    } else if (s.sectionNumber == kSectionUndefined && descriptor != nullptr && descriptor->empty()) {
      const std::string_view name = object.SymbolName(i);
      if (name.starts_with(kImportDescriptorPrefix)) *descriptor = name;
    }
  });
  return symbols;
}

// The zero-terminated text `addend` bytes past where the symbol points.
std::optional<std::string_view> TextAt(const ObjectView& object, const Symbol& symbol,
                                       std::uint64_t addend) {
  const SectionHeader* section = object.SectionOf(symbol);
  if (section == nullptr) return std::nullopt;
  return object.TextAt(object.Data(*section), std::uint64_t{symbol.value} + addend);
}

class Reader {
 public:
  Reader(ByteView file, const std::vector<std::string_view>& names, ByteView offsets)
      : file_(file),
        names_(names),
        offsets_(offsets),
        budget_(kBudgetPerByte * file.size() + kBudgetFloor) {}

  // Requests that all point at the member at `at`.
  void ReadMember(std::uint64_t at, const std::vector<ImportRequest*>& group) {
    const std::optional<Member> m = MemberAt(file_, at);
    if (!m || !m->sizeKnown || !m->header.EndMarked()) return;
    const ByteView data = m->data;
    if (data.size() < ImportHeader::kSize || !records::Decode<ImportHeader>(data.data()).Signed()) {
      ReadImportObject(data, group);
      return;
    }
    if (std::optional<std::string> what = ReadShortImport(data, group)) {
      std::uint64_t announced = 0;
      m->header.Size(announced);
      damaged_ = DamagedMember{at, group.front()->symbol, std::move(*what), data.size() < announced};
    }
  }

  const std::optional<DamagedMember>& Damaged() const { return damaged_; }

 private:
  // An ordinary member's data, when its header is whole and sound.
  std::optional<ByteView> MemberData(std::uint64_t at) const {
    const std::optional<Member> m = MemberAt(file_, at);
    if (!m || !m->sizeKnown || !m->header.EndMarked()) return std::nullopt;
    return m->data;
  }

  // The machines whose short imports linkers take; an ARM64X library's
  // members are ARM64 and ARM64EC ones.

  // Why the member cannot be read, when it cannot: a field no linker
  // knows, or names that run past its end.
  // Not paid from the budget: a short import's texts end at the first zero
  // byte, and every other short import starts with zero bytes, so their
  // searches cannot pile up on the same bytes.
  static std::optional<std::string> ReadShortImport(ByteView data,
                                                    const std::vector<ImportRequest*>& group) {
    const ImportHeader header = records::Decode<ImportHeader>(data.data());
    ImportBinding b;
    switch (static_cast<ImportType>(header.ImportTypeBits())) {
      case ImportType::Code: b.Kind = ImportKind::Code; break;
      case ImportType::Data: b.Kind = ImportKind::Data; break;
      case ImportType::Const: b.Kind = ImportKind::Const; break;
      default: return "has unknown import type " + std::to_string(header.ImportTypeBits());
    }
    const auto nameType = static_cast<NameType>(header.NameTypeBits());
    if (header.NameTypeBits() > static_cast<unsigned>(NameType::ExportAs))
      return "has unknown name type " + std::to_string(header.NameTypeBits());
    const Machine machine = MachineOfNumber(header.machine);
    if (machine == Machine::Unknown || !IsKnown(machine)) return "is for unknown " + MachineName(machine);

    constexpr const char* kCutNames = "ends before its names do";
    const ByteView strings =
        data.subspan(ImportHeader::kSize)
            .first(std::min<std::size_t>(header.sizeOfData, data.size() - ImportHeader::kSize));
    const std::optional<std::string_view> symbol = ZStringAt(strings, 0);
    if (!symbol) return kCutNames;
    const std::uint64_t dllAt = symbol->size() + 1;
    const std::optional<std::string_view> dll = ZStringAt(strings, dllAt);
    if (!dll) return kCutNames;
    switch (nameType) {
      case NameType::Ordinal:
        b.ByOrdinal = true;
        b.Ordinal = header.ordinalOrHint;
        break;
      case NameType::Name: b.ExportName = AnsiString(*symbol); break;
      case NameType::NoPrefix: b.ExportName = WithoutPrefix(*symbol); break;
      case NameType::Undecorate: b.ExportName = UndecoratedName(*symbol); break;
      case NameType::ExportAs: {
        const std::optional<std::string_view> name = ZStringAt(strings, dllAt + dll->size() + 1);
        if (!name) return kCutNames;
        b.ExportName = AnsiString(*name);
        break;
      }
    }
    b.Dll = AnsiString(*dll);
    // An ARM64EC code import names its function's body; its "__imp_"
    // pointer is named after the function's x64 name.
    std::string callName;
    std::string_view client = *symbol;
    if (machine == Machine::Arm64ec && b.Kind == ImportKind::Code) {
      callName = EcCallName(*symbol);
      client = callName;
    }
    for (std::size_t k = 0; k < group.size(); ++k) {
      if (group[k]->symbol != client) continue;  // the member is another import's
      group[k]->isImport = true;
      group[k]->machine = MachineOfNumber(header.machine);
      group[k]->hint = header.ordinalOrHint;
      if (k + 1 == group.size())
        Store(std::move(b), *group[k]->binding);
      else
        Store(b, *group[k]->binding);
    }
    return std::nullopt;
  }

  void ReadImportObject(ByteView data, const std::vector<ImportRequest*>& group) {
    ObjectView object;
    if (!object.Open(data, budget_)) return;
    const Machine machine = MachineOfNumber(object.Header().machine);
    // GNU's long format, for the machines whose slots this reads.
    if (machine != Machine::I386 && machine != Machine::Amd64 &&
        machine != Machine::Arm64)
      return;
    std::string_view descriptor;
    const SymbolsByName defined = DefinedSymbols(object, &descriptor);
    // Several imports in one object are no producer's layout, but must not
    // cost a pass over its relocations each.
    std::unordered_map<const SectionHeader*, RelocationsByOffset> relocations;
    auto targetOf = [&](const SectionHeader& section,
                        std::uint32_t offset) -> std::optional<std::uint32_t> {
      if (group.size() == 1) return object.RelocationTarget(section, offset);
      auto [it, fresh] = relocations.try_emplace(&section);
      if (fresh) it->second = RelocationMap(object, section);
      const auto found = it->second.find(offset);
      if (found == it->second.end()) return std::nullopt;
      return found->second;
    };

    std::optional<std::optional<std::string_view>> dll;
    std::string slotName;
    for (ImportRequest* r : group) {
      r->notImport = true;
      slotName.assign(kImportPrefix).append(r->symbol);
      const auto slot = defined.find(slotName);
      if (slot == defined.end()) continue;
      ImportBinding b;
      // A delay-load library's slot first points to the function's load
      // stub: what the loader looks up is in the lookup table's entry.
      const Symbol slotSymbol = object.SymbolAt(slot->second);
      const SectionHeader* slotSection = object.SectionOf(slotSymbol);
      if (slotSection == nullptr) continue;
      b.Delayed = object.SectionName(*slotSection).starts_with(kDelayAddressPrefix);
      // GNU dlltool's delay objects keep the ".idata" names; what tells
      // them is the trampoline their stub jumps to.
      const bool gnuDelayed = !b.Delayed && slotSection->NameText() == kAddressSection && CallsTailMerge(object);
      if (b.Delayed) {
        const SectionHeader* lookup = object.SectionStarting(kDelayLookupPrefix);
        if (lookup == nullptr ||
            !ReadSlot(object, *lookup, 0, Is64Bit(machine), targetOf, kDelayNamesSection, b))
          continue;
      } else if (gnuDelayed) {
        const SectionHeader* lookup = object.SectionNamed(kLookupSection);
        if (lookup == nullptr || !ReadSlot(object, *lookup, 0, Is64Bit(machine), targetOf, kNamesSection, b))
          continue;
        b.Delayed = true;
      } else if (slotSection->NameText() != kAddressSection ||
                 !ReadSlot(object, *slotSection, slotSymbol.value, Is64Bit(machine), targetOf,
                           kNamesSection, b)) {
        continue;
      }
      if (b.Delayed) dll = DelayDllOf(object);
      else if (!dll) dll = DllOf(object, descriptor);
      // An object without the directory entry of its DLL imports nothing.
      if (!*dll) continue;
      r->notImport = false;
      r->isImport = true;
      r->machine = machine;
      r->gnuObject = b.Delayed || object.SectionNamed(kHeadLinkSection) != nullptr;
      // A code import has a thunk under the client symbol itself; a data
      // import only has the address slot.
      b.Kind = defined.contains(r->symbol) ? ImportKind::Code : ImportKind::Data;
      b.Dll = AnsiString(**dll);
      Store(std::move(b), *r->binding);
    }
  }

  // The fields a member tells; the client symbol stays as it was read.
  template <typename Binding>
  static void Store(Binding&& from, ImportBinding& to) {
    to.Dll = std::forward<Binding>(from).Dll;
    to.ExportName = std::forward<Binding>(from).ExportName;
    to.ByOrdinal = from.ByOrdinal;
    to.Ordinal = from.Ordinal;
    to.Kind = from.Kind;
    to.Delayed = from.Delayed;
  }

  static RelocationsByOffset RelocationMap(const ObjectView& object, const SectionHeader& section) {
    RelocationsByOffset map;
    object.ForEachRelocation(
        section, [&](std::uint32_t offset, std::uint32_t target) { map.emplace(offset, target); });
    return map;
  }

  // The slot (address or lookup entry) at `at` in the section holds the
  // ordinal with the ordinal flag, or is relocated to the hint and name in
  // the section namesSection.
  template <typename TargetOf>
  static bool ReadSlot(const ObjectView& object, const SectionHeader& section, std::uint32_t at, bool wide,
                       TargetOf& targetOf, std::string_view namesSection, ImportBinding& b) {
    const ByteView bytes = object.Data(section);
    const std::size_t width = wide ? sizeof(std::uint64_t) : sizeof(std::uint32_t);
    if (at > bytes.size() || bytes.size() - at < width) return false;
    // A 64-bit slot relocated to the hint/name adds its low half.
    const std::uint64_t value = wide ? records::LoadLittle<std::uint64_t>(bytes.data() + at)
                                     : records::LoadLittle<std::uint32_t>(bytes.data() + at);
    if (const std::optional<std::uint32_t> target = targetOf(section, at)) {
      // The slot's own bytes are added to the target's address.
      const Symbol hintName = object.SymbolAt(*target);
      const SectionHeader* names = object.SectionOf(hintName);
      if (names == nullptr || names->NameText() != namesSection) return false;
      const std::optional<std::string_view> name =
          TextAt(object, hintName, (value & 0xFFFFFFFFu) + kHintSize);
      if (!name) return false;
      b.ExportName = AnsiString(*name);
      return true;
    }
    if ((value & (wide ? kOrdinalFlag64 : kOrdinalFlag32)) == 0) return false;
    b.ByOrdinal = true;
    b.Ordinal = static_cast<std::uint16_t>(value & kOrdinalMask);
    return true;
  }

  // The directory entry that names the object's DLL: in GNU's layout the
  // object refers to its library's head object, whose entry names the DLL,
  // usually through a symbol of a third, "tail" object; our own writer's
  // objects carry an entry of their own; Microsoft's older import objects
  // need their DLL's "__IMPORT_DESCRIPTOR_" object, whose entry names the
  // DLL as a head's does. None when the object has none of these, or its
  // head link is broken. An empty name when the object refers to a member
  // that is missing or whose chain breaks further on: it is an import
  // still, of no known DLL.
  std::optional<std::string_view> DllOf(const ObjectView& object, std::string_view descriptor) {
    std::string_view head = descriptor;
    if (const SectionHeader* link = object.SectionNamed(kHeadLinkSection)) {
      const std::optional<std::uint32_t> target = object.RelocationTarget(*link, 0);
      if (!target || object.SymbolAt(*target).sectionNumber != 0) return std::nullopt;
      head = object.SymbolName(*target);
    } else if (std::optional<std::string_view> own = OwnDll(object)) {
      return own;
    } else if (descriptor.empty()) {
      return std::nullopt;
    }
    const std::optional<std::uint64_t> headAt = DefiningMember(head);
    if (!headAt) return std::string_view();
    auto [it, fresh] = dllOfHead_.try_emplace(*headAt);
    if (fresh) it->second = DllOfHead(*headAt);
    return it->second;
  }

  // The DLL of a delay-load library's function: the descriptor of the
  // object whose trampoline it calls names it. An empty name when that
  // object is missing or names none.
  static std::string_view TailMergeOf(const ObjectView& object) {
    std::string_view tailMerge;
    object.ForEachSymbol([&](std::uint32_t i, const Symbol& s) {
      if (!tailMerge.empty() || s.storageClass != kClassExternal || s.sectionNumber != kSectionUndefined) return;
      // 32-bit Intel names carry C's leading underscore.
      const std::string_view name = object.SymbolName(i);
      if (name.starts_with(kTailMergePrefix) || (name.starts_with('_') && name.substr(1).starts_with(kTailMergePrefix)))
        tailMerge = name;
    });
    return tailMerge;
  }
  static bool CallsTailMerge(const ObjectView& object) { return !TailMergeOf(object).empty(); }

  std::optional<std::string_view> DelayDllOf(const ObjectView& object) {
    const std::string_view tailMerge = TailMergeOf(object);
    if (tailMerge.empty()) return std::nullopt;
    const std::optional<std::uint64_t> headAt = DefiningMember(tailMerge);
    if (!headAt) return std::string_view();
    auto [it, fresh] = dllOfHead_.try_emplace(*headAt);
    if (fresh) it->second = DllOfDelayHead(*headAt);
    return it->second;
  }

  std::string_view DllOfDelayHead(std::uint64_t at) {
    const std::optional<ByteView> data = MemberData(at);
    ObjectView head;
    if (!data || !head.Open(*data, budget_)) return {};
    std::optional<Symbol> descriptor;
    head.ForEachSymbol([&](std::uint32_t i, const Symbol& s) {
      if (!descriptor && s.sectionNumber > 0 && head.SymbolName(i).starts_with(kDelayDescriptorPrefix))
        descriptor = s;
    });
    const SectionHeader* section = descriptor ? head.SectionOf(*descriptor) : nullptr;
    if (section == nullptr) return {};
    const std::uint32_t field = descriptor->value + kDelayDllNameAt;
    const std::optional<std::uint32_t> target = head.RelocationTarget(*section, field);
    const ByteView bytes = head.Data(*section);
    if (!target || bytes.size() < std::uint64_t{field} + sizeof(std::uint32_t)) return {};
    return NameAt(head, *target, records::LoadLittle<std::uint32_t>(bytes.data() + field));
  }

  // The DLL name that the object's own directory entry points at.
  std::optional<std::string_view> OwnDll(const ObjectView& object) const {
    const SectionHeader* descriptor = object.SectionNamed(kDirectorySection);
    if (descriptor == nullptr) return std::nullopt;
    const std::optional<std::uint32_t> target =
        object.RelocationTarget(*descriptor, kDirectoryNameAt);
    if (!target) return std::nullopt;
    const ByteView field = object.Data(*descriptor);
    if (field.size() < kDirectoryNameAt + sizeof(std::uint32_t)) return std::nullopt;
    const Symbol name = object.SymbolAt(*target);
    const SectionHeader* names = object.SectionOf(name);
    if (names == nullptr || names->NameText() != kNamesSection) return std::nullopt;
    std::optional<std::string_view> dll =
        TextAt(object, name, records::LoadLittle<std::uint32_t>(field.data() + kDirectoryNameAt));
    if (!dll || dll->empty()) return std::nullopt;
    return dll;
  }

  // The DLL that a head's or descriptor's directory entry names, in its
  // own ".idata$6" or through a tail's symbol.
  std::string_view DllOfHead(std::uint64_t at) {
    const std::optional<ByteView> data = MemberData(at);
    ObjectView head;
    if (!data || !head.Open(*data, budget_)) return {};
    const SectionHeader* descriptor = head.SectionNamed(kDirectorySection);
    if (descriptor == nullptr) return {};
    const std::optional<std::uint32_t> target =
        head.RelocationTarget(*descriptor, kDirectoryNameAt);
    if (!target) return {};
    const ByteView field = head.Data(*descriptor);
    const std::uint32_t addend = field.size() >= kDirectoryNameAt + sizeof(std::uint32_t)
                                     ? records::LoadLittle<std::uint32_t>(field.data() + kDirectoryNameAt)
                                     : 0;
    return NameAt(head, *target, addend);
  }

  // The text a head's symbol points to, `addend` bytes on: in the head
  // itself, or in the tail that defines the symbol (GNU's "_iname").
  std::string_view NameAt(const ObjectView& head, std::uint32_t target, std::uint32_t addend) {
    const Symbol name = head.SymbolAt(target);
    if (name.sectionNumber > 0) return TextAt(head, name, addend).value_or(std::string_view());
    const std::string_view symbol = head.SymbolName(target);
    const std::optional<std::uint64_t> tailAt = DefiningMember(symbol);
    if (!tailAt) return {};
    auto [it, fresh] = tails_.try_emplace(*tailAt);
    Tail& tail = it->second;
    if (fresh) {
      const std::optional<ByteView> tailData = MemberData(*tailAt);
      if (tailData && tail.object.Open(*tailData, budget_))
        tail.symbols = DefinedSymbols(tail.object);
    }
    const auto found = tail.symbols.find(symbol);
    if (found == tail.symbols.end()) return {};
    return TextAt(tail.object, tail.object.SymbolAt(found->second), addend)
        .value_or(std::string_view());
  }

  // The member the first linker member names for a symbol.
  std::optional<std::uint64_t> DefiningMember(std::string_view name) {
    if (!indexed_) {
      indexed_ = true;
      index_.reserve(names_.size());
      for (std::size_t i = 0; i < names_.size(); ++i)
        index_.emplace(names_[i], records::LoadBig32(offsets_.data() + i * kLinkerNumberSize));
    }
    const auto found = index_.find(name);
    if (found == index_.end()) return std::nullopt;
    return found->second;
  }

  struct Tail {
    ObjectView object;
    SymbolsByName symbols;
  };

  // A sound library's objects have their tables to themselves: each byte
  // is examined about once. This much leaves room to spare.
  static constexpr std::uint64_t kBudgetPerByte = 4;
  static constexpr std::uint64_t kBudgetFloor = 1 << 16;

  ByteView file_;
  const std::vector<std::string_view>& names_;
  ByteView offsets_;
  WorkBudget budget_;
  bool indexed_ = false;
  std::unordered_map<std::string_view, std::uint64_t> index_;
  std::unordered_map<std::uint64_t, std::string_view> dllOfHead_;
  std::unordered_map<std::uint64_t, Tail> tails_;
  std::optional<DamagedMember> damaged_;
};

}  // namespace

std::optional<DamagedMember> ReadImportBindings(ByteView file, const std::vector<std::string_view>& names,
                                                ByteView offsets, std::vector<ImportRequest>& requests) {
  // Each member is read once for all the imports that point at it. In a
  // sound library no two imports share a member, and the list's own order
  // reads the names front to back; only when some do are the imports
  // grouped by member.
  std::vector<std::pair<std::uint64_t, std::size_t>> order(requests.size());
  for (std::size_t i = 0; i < requests.size(); ++i) order[i] = {requests[i].memberAt, i};
  std::vector<bool> seen(file.size(), false);
  for (const ImportRequest& r : requests) {
    if (r.memberAt >= file.size()) continue;
    if (seen[r.memberAt]) {
      std::sort(order.begin(), order.end());
      break;
    }
    seen[r.memberAt] = true;
  }
  Reader reader(file, names, offsets);
  std::vector<ImportRequest*> group;
  // Members lie anywhere in the file: ask for the ones a few imports
  // ahead early, so that their bytes are at hand when their turn comes.
  constexpr std::size_t kAhead = 8;
  constexpr std::size_t kPrefetchSpan = 64;  // a header and a short import's start cross a line
  for (std::size_t i = 0; i < order.size();) {
    if (i + kAhead < order.size() && order[i + kAhead].first + kPrefetchSpan < file.size()) {
      __builtin_prefetch(file.data() + order[i + kAhead].first);
      __builtin_prefetch(file.data() + order[i + kAhead].first + kPrefetchSpan);
    }
    group.clear();
    const std::uint64_t at = order[i].first;
    for (; i < order.size() && order[i].first == at; ++i)
      group.push_back(&requests[order[i].second]);
    reader.ReadMember(at, group);
    if (reader.Damaged()) return reader.Damaged();
  }
  return std::nullopt;
}

}  // namespace coff::parse
