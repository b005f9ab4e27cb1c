#include "coff/archive_reader.h"

#include <algorithm>
#include <cstring>

namespace coff::parse {

ByteView Slice(ByteView bytes, std::uint64_t at, std::uint64_t count) {
  if (at >= bytes.size()) return {};
  return bytes.subspan(static_cast<std::size_t>(at),
                       static_cast<std::size_t>(std::min<std::uint64_t>(count, bytes.size() - at)));
}

std::optional<std::string_view> ZStringAt(ByteView bytes, std::uint64_t at) {
  if (at >= bytes.size()) return std::nullopt;
  const std::uint8_t* start = bytes.data() + at;
  const std::size_t left = bytes.size() - static_cast<std::size_t>(at);
  const auto* zero = static_cast<const std::uint8_t*>(std::memchr(start, 0, left));
  if (zero == nullptr) return std::nullopt;
  return std::string_view(reinterpret_cast<const char*>(start),
                          static_cast<std::size_t>(zero - start));
}

std::optional<std::string_view> ZStringAt(ByteView bytes, std::uint64_t at, WorkBudget& budget) {
  if (at >= bytes.size()) return std::nullopt;
  const std::uint64_t window = std::min<std::uint64_t>(bytes.size() - at, budget.Left());
  const std::optional<std::string_view> text =
      ZStringAt(bytes.first(static_cast<std::size_t>(at + window)), at);
  budget.Spend(text ? text->size() + 1 : window);
  return text;
}

std::optional<Member> MemberAt(ByteView file, std::uint64_t at) {
  if (at > file.size() || file.size() - at < MemberHeader::kSize) return std::nullopt;
  Member m;
  m.header = records::Decode<MemberHeader>(file.data() + at);
  const std::uint64_t dataAt = at + MemberHeader::kSize;
  std::uint64_t size = 0;
  m.sizeKnown = m.header.Size(size);
  if (m.sizeKnown) {
    m.data = Slice(file, dataAt, size);
    // Members start on even offsets: one pad byte follows an odd size.
    m.next = dataAt + size + (size & 1);
  } else {
    m.data = Slice(file, dataAt, file.size());
  }
  return m;
}

bool ObjectView::Open(ByteView data, WorkBudget& budget) {
  data_ = data;
  budget_ = &budget;
  sections_.clear();
  symbolCount_ = 0;
  strings_ = {};
  if (data.size() < FileHeader::kSize) return false;
  header_ = records::Decode<FileHeader>(data.data());
  const std::uint64_t tableAt = FileHeader::kSize + std::uint64_t{header_.sizeOfOptionalHeader};
  const std::uint64_t tableSize = std::uint64_t{header_.numberOfSections} * SectionHeader::kSize;
  if (tableAt + tableSize > data.size() || !budget.Spend(tableSize)) return false;
  sections_.reserve(header_.numberOfSections);
  for (std::uint16_t i = 0; i < header_.numberOfSections; ++i)
    sections_.push_back(records::Decode<SectionHeader>(data.data() + tableAt +
                                                       std::size_t{i} * SectionHeader::kSize));

  const std::uint64_t symbolsAt = header_.pointerToSymbolTable;
  if (symbolsAt <= data.size()) {
    const std::uint64_t fit = (data.size() - symbolsAt) / Symbol::kSize;
    symbolCount_ =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(header_.numberOfSymbols, fit));
    // The string table follows the whole symbol table, when that is there.
    if (symbolCount_ == header_.numberOfSymbols)
      strings_ =
          Slice(data, symbolsAt + std::uint64_t{symbolCount_} * Symbol::kSize, data.size());
  }
  return true;
}

Symbol ObjectView::SymbolAt(std::uint32_t i) const {
  return records::Decode<coff::Symbol>(data_.data() + header_.pointerToSymbolTable +
                                       std::size_t{i} * Symbol::kSize);
}

std::string_view ObjectView::SymbolName(std::uint32_t i) const {
  if (i >= symbolCount_) return {};
  const std::uint8_t* at = data_.data() + header_.pointerToSymbolTable + std::size_t{i} * Symbol::kSize;
  const Symbol symbol = records::Decode<coff::Symbol>(at);
  if (symbol.NameInPlace()) {
    const std::string_view name(reinterpret_cast<const char*>(at), symbol.name.size());
    return name.substr(0, name.find('\0'));
  }
  return ZStringAt(strings_, symbol.NameOffset(), *budget_).value_or(std::string_view());
}

const SectionHeader* ObjectView::SectionOf(const Symbol& symbol) const {
  if (symbol.sectionNumber <= 0 ||
      static_cast<std::size_t>(symbol.sectionNumber) > sections_.size())
    return nullptr;
  return &sections_[static_cast<std::size_t>(symbol.sectionNumber) - 1];
}

const SectionHeader* ObjectView::SectionNamed(std::string_view name) const {
  for (const SectionHeader& s : sections_)
    if (s.NameText() == name) return &s;
  return nullptr;
}

std::string_view ObjectView::SectionName(const SectionHeader& section) const {
  const std::string_view name = section.NameText();
  if (!name.starts_with('/') || name.size() < 2) return name;
  std::uint32_t offset = 0;
  for (char c : name.substr(1)) {
    if (c < '0' || c > '9') return {};
    offset = offset * 10 + static_cast<std::uint32_t>(c - '0');
  }
  return ZStringAt(strings_, offset, *budget_).value_or(std::string_view());
}

const SectionHeader* ObjectView::SectionStarting(std::string_view prefix) const {
  for (const SectionHeader& s : sections_)
    if (SectionName(s).starts_with(prefix)) return &s;
  return nullptr;
}

ByteView ObjectView::Data(const SectionHeader& section) const {
  return Slice(data_, section.pointerToRawData, section.sizeOfRawData);
}

std::optional<std::uint32_t> ObjectView::RelocationTarget(const SectionHeader& section,
                                                          std::uint32_t offset) const {
  std::optional<std::uint32_t> found;
  ForEachRelocation(section, [&](std::uint32_t at, std::uint32_t target) {
    if (at == offset && !found) found = target;
  });
  return found;
}

}  // namespace coff::parse
