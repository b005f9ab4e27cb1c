// Views into an archive held whole in memory: its members and the COFF
// objects inside them. Every view is bounded by the bytes it was given, so
// offsets and counts from a hostile file can point anywhere without a read
// going past the end.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "coff/archive_format.h"

namespace coff::parse {

using ByteView = std::span<const std::uint8_t>;

// The bytes [at, at + count) of the view, shortened to what it holds.
ByteView Slice(ByteView bytes, std::uint64_t at, std::uint64_t count);

// The zero-terminated text at `at`; nullopt when no zero byte closes it
// before the end of the bytes.
std::optional<std::string_view> ZStringAt(ByteView bytes, std::uint64_t at);

struct Member {
  MemberHeader header;
  // The data the size field announces, less what lies past the end of the
  // file; to the end of the file when the size field is unreadable.
  ByteView data;
  // Where the next header would be; 0 when the size field is unreadable.
  std::uint64_t next = 0;
};

// The member whose header starts at `at`, when the whole header is in the
// file.
std::optional<Member> MemberAt(ByteView file, std::uint64_t at);

// A COFF object member, read in place.
class ObjectView {
 public:
  // False when the bytes cannot be an object: too short for the header or
  // the section table.
  bool Open(ByteView data);

  const ObjectHeader& Header() const { return header_; }
  std::uint32_t SymbolCount() const { return symbolCount_; }
  std::size_t SectionCount() const { return sections_.size(); }

  // Symbol i; i < SymbolCount().
  SymbolEntry Symbol(std::uint32_t i) const;
  // Its name; empty when the string table does not hold it.
  std::string_view SymbolName(const SymbolEntry& symbol) const;
  // The section a symbol lies in, when its section number names one.
  const SectionEntry* SectionOf(const SymbolEntry& symbol) const;
  const SectionEntry* SectionNamed(std::string_view name) const;
  // A section's raw data, less what lies outside the object.
  ByteView Data(const SectionEntry& section) const;
  // The index of the symbol a relocation of the section at `offset`
  // refers to.
  std::optional<std::uint32_t> RelocationTarget(const SectionEntry& section,
                                                std::uint32_t offset) const;
  // f(offset, symbol index) for each relocation of the section whose
  // symbol exists, in table order.
  template <typename F>
  void ForEachRelocation(const SectionEntry& section, F&& f) const {
    const ByteView table = Slice(data_, section.pointerToRelocations,
                                 std::uint64_t{section.numberOfRelocations} * RelocationEntry::kSize);
    for (std::size_t at = 0; at + RelocationEntry::kSize <= table.size(); at += RelocationEntry::kSize) {
      const RelocationEntry r = RelocationEntry::From(table.data() + at);
      if (r.symbolTableIndex < symbolCount_) f(r.virtualAddress, r.symbolTableIndex);
    }
  }

 private:
  ByteView data_;
  ObjectHeader header_;
  std::vector<SectionEntry> sections_;
  std::uint32_t symbolCount_ = 0;  // those that fit in the object
  ByteView strings_;               // the string table, its size field included
};

}  // namespace coff::parse
