// Views into an archive held whole in memory: its members and the COFF
// objects inside them. Every view is bounded by the bytes it was given, so
// offsets and counts from a hostile file can point anywhere without a read
// going past the end; and every object view spends from one work budget,
// so that objects whose tables all point at the same bytes cannot make the
// work grow faster than the file.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "coff/coff_records.h"

namespace coff::parse {

using ByteView = std::span<const std::uint8_t>;

// The bytes [at, at + count) of the view, shortened to what it holds.
ByteView Slice(ByteView bytes, std::uint64_t at, std::uint64_t count);

// The zero-terminated text at `at`; nullopt when no zero byte closes it
// before the end of the bytes.
std::optional<std::string_view> ZStringAt(ByteView bytes, std::uint64_t at);

// How many bytes the object views may still examine, all together.
class WorkBudget {
 public:
  explicit WorkBudget(std::uint64_t bytes) : left_(bytes) {}
  // False, and nothing left, when there is not enough for count bytes.
  bool Spend(std::uint64_t count) {
    if (count > left_) {
      left_ = 0;
      return false;
    }
    left_ -= count;
    return true;
  }
  std::uint64_t Left() const { return left_; }

 private:
  std::uint64_t left_;
};

// ZStringAt, paid for from the budget: at most what is left is searched.
std::optional<std::string_view> ZStringAt(ByteView bytes, std::uint64_t at, WorkBudget& budget);

struct Member {
  MemberHeader header;
  bool sizeKnown = false;  // the size field held a decimal number
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
  // False when the bytes cannot be an object (too short for the header or
  // the section table) or the budget cannot pay for its section table.
  bool Open(ByteView data, WorkBudget& budget);

  const FileHeader& Header() const { return header_; }
  std::uint32_t SymbolCount() const { return symbolCount_; }
  std::size_t SectionCount() const { return sections_.size(); }

  // Symbol i; i < SymbolCount().
  Symbol SymbolAt(std::uint32_t i) const;
  // The name of symbol i, in the object's own bytes; empty when the
  // string table does not hold it.
  std::string_view SymbolName(std::uint32_t i) const;
  // f(index, symbol) for each symbol, its auxiliary records passed over;
  // nothing when the budget cannot pay for the table.
  template <typename F>
  void ForEachSymbol(F&& f) const {
    if (!budget_->Spend(std::uint64_t{symbolCount_} * Symbol::kSize)) return;
    for (std::uint64_t i = 0; i < symbolCount_; ++i) {
      const Symbol s = SymbolAt(static_cast<std::uint32_t>(i));
      f(static_cast<std::uint32_t>(i), s);
      i += s.numberOfAuxSymbols;
    }
  }
  // The zero-terminated text at `at` in the bytes.
  std::optional<std::string_view> TextAt(ByteView bytes, std::uint64_t at) const {
    return ZStringAt(bytes, at, *budget_);
  }
  // The section a symbol lies in, when its section number names one.
  const SectionHeader* SectionOf(const Symbol& symbol) const;
  const SectionHeader* SectionNamed(std::string_view name) const;
  // A section's name, a long one ("/123") read from the string table;
  // empty when the table does not hold it.
  std::string_view SectionName(const SectionHeader& section) const;
  // The first section whose name starts with the prefix.
  const SectionHeader* SectionStarting(std::string_view prefix) const;
  // A section's raw data, less what lies outside the object.
  ByteView Data(const SectionHeader& section) const;
  // The index of the symbol a relocation of the section at `offset`
  // refers to.
  std::optional<std::uint32_t> RelocationTarget(const SectionHeader& section,
                                                std::uint32_t offset) const;
  // f(offset, symbol index) for each relocation of the section whose
  // symbol exists, in table order; nothing when the budget cannot pay.
  template <typename F>
  void ForEachRelocation(const SectionHeader& section, F&& f) const {
    const ByteView table =
        Slice(data_, section.pointerToRelocations,
              std::uint64_t{section.numberOfRelocations} * Relocation::kSize);
    if (!budget_->Spend(table.size())) return;
    for (std::size_t at = 0; at + Relocation::kSize <= table.size();
         at += Relocation::kSize) {
      const Relocation r = records::Decode<Relocation>(table.data() + at);
      if (r.symbolTableIndex < symbolCount_) f(r.virtualAddress, r.symbolTableIndex);
    }
  }

 private:
  ByteView data_;
  FileHeader header_;
  std::vector<SectionHeader> sections_;
  std::uint32_t symbolCount_ = 0;  // those that fit in the object
  ByteView strings_;               // the string table, its size field included
  WorkBudget* budget_ = nullptr;
};

}  // namespace coff::parse
