// Reads the export list of a COFF import library from its first linker
// member: the symbol count, then (past the member offsets) the symbol
// names. Every import, code or data, has an "__imp_" name there, whatever
// the producer and whatever order it puts the names in, so those names
// alone make the list, in the member's order.
#include <algorithm>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "model/fichier_lib.h"
#include "model/microsoft_symbol.h"

namespace {

constexpr std::size_t kMemberHeaderSize = 60;
constexpr std::size_t kCountOffset = kArchiveSignatureSize + kMemberHeaderSize;  // 68
constexpr std::size_t kCountSize = 4;
constexpr std::size_t kReadBlock = 64 * 1024;
constexpr std::string_view kImportPrefix = "__imp_";

// Reads the file front to back in large blocks, into the given buffer, so
// that the cost is one copy per byte whatever the names' lengths.
class BlockReader {
 public:
  BlockReader(HANDLE file, std::vector<std::uint8_t>& buffer) : file_(file), buffer_(buffer) {
    if (buffer_.size() < kReadBlock) buffer_.resize(kReadBlock);
  }

  // Copies up to count bytes; answers how many there were.
  std::size_t Read(void* out, std::size_t count) {
    auto* dest = static_cast<std::uint8_t*>(out);
    std::size_t done = 0;
    while (done < count && Available()) {
      std::size_t n = std::min(count - done, end_ - pos_);
      std::memcpy(dest + done, buffer_.data() + pos_, n);
      pos_ += n;
      done += n;
    }
    return done;
  }

  // Passes over up to count bytes, stopping at the end of the file.
  void Skip(std::uint64_t count) {
    while (count > 0 && Available()) {
      std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, end_ - pos_));
      pos_ += n;
      count -= n;
    }
  }

  // The bytes up to the next zero byte, which is consumed; at the end of
  // the file, the bytes read so far.
  void ReadZString(std::string& out) {
    out.clear();
    while (Available()) {
      const std::uint8_t* start = buffer_.data() + pos_;
      const auto* zero = static_cast<const std::uint8_t*>(std::memchr(start, 0, end_ - pos_));
      if (zero != nullptr) {
        out.append(reinterpret_cast<const char*>(start), static_cast<std::size_t>(zero - start));
        pos_ += static_cast<std::size_t>(zero - start) + 1;
        return;
      }
      out.append(reinterpret_cast<const char*>(start), end_ - pos_);
      pos_ = end_;
    }
  }

 private:
  bool Available() {
    if (pos_ < end_) return true;
    if (atEnd_) return false;
    DWORD got = 0;
    ReadFile(file_, buffer_.data(), static_cast<DWORD>(buffer_.size()), &got, nullptr);
    pos_ = 0;
    end_ = got;
    if (got == 0) atEnd_ = true;
    return got != 0;
  }

  HANDLE file_;
  std::vector<std::uint8_t>& buffer_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  bool atEnd_ = false;
};

}  // namespace

AnsiString ReadZString(HANDLE file) {
  AnsiString text;
  char c = 0;
  DWORD got = 0;
  while (ReadFile(file, &c, 1, &got, nullptr) && got == 1 && c != '\0') text.push_back(c);
  return text;
}

Outcome TFichierLib::ReadCoffLibrary(const std::string& fileName) {
  HANDLE file = OpenLibraryFile(fileName, true);
  if (file == INVALID_HANDLE_VALUE) return Outcome::CannotOpen(static_cast<int>(GetLastError()));
  FileCloser closer(file);
  Fonctions.Clear();

  BlockReader reader(file, Buffer);
  reader.Skip(kCountOffset);  // the signature and the first member's header
  std::uint8_t countBytes[kCountSize] = {};
  if (reader.Read(countBytes, kCountSize) < kCountSize) return Outcome::Done();  // no count: no entries
  const auto count = static_cast<std::int32_t>(
      (std::uint32_t{countBytes[0]} << 24) | (std::uint32_t{countBytes[1]} << 16) |
      (std::uint32_t{countBytes[2]} << 8) | std::uint32_t{countBytes[3]});
  if (count <= 0) return Outcome::Done();
  reader.Skip(std::uint64_t{4} * static_cast<std::uint32_t>(count));  // the member offsets

  // The names, read whole first: whether a name is an import name can
  // depend on a name further on.
  std::string table;
  std::vector<std::pair<std::size_t, std::size_t>> names;  // start and length in table
  bool cutShort = false;
  std::string name;
  for (std::int32_t i = 0; i < count; ++i) {
    reader.ReadZString(name);
    if (name.empty()) {  // the string table runs out
      cutShort = true;
      break;
    }
    names.emplace_back(table.size(), name.size());
    table += name;
  }
  auto nameAt = [&table](const std::pair<std::size_t, std::size_t>& n) {
    return std::string_view(table).substr(n.first, n.second);
  };

  // A symbol that itself begins with "__imp_" is no import name: it sits
  // next to its own import name "__imp___imp_...", just before it (our
  // libraries, Microsoft's) or just after it (llvm-dlltool's). Each import
  // name vouches for one symbol only.
  std::vector<bool> isSymbol(names.size(), false);
  std::vector<bool> vouched(names.size(), false);
  auto importNameOf = [&](std::size_t i, std::size_t j) {
    const std::string_view s = nameAt(names[i]);
    const std::string_view t = nameAt(names[j]);
    return !vouched[j] && t.size() == s.size() + kImportPrefix.size() &&
           t.substr(0, kImportPrefix.size()) == kImportPrefix && t.substr(kImportPrefix.size()) == s;
  };
  for (int pass = 0; pass < 2; ++pass) {
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (isSymbol[i] || nameAt(names[i]).substr(0, kImportPrefix.size()) != kImportPrefix) continue;
      const bool before = pass == 0 && i + 1 < names.size() && importNameOf(i, i + 1);
      const bool after = pass == 1 && i > 0 && importNameOf(i, i - 1);
      if (before || after) {
        isSymbol[i] = true;
        vouched[before ? i + 1 : i - 1] = true;
      }
    }
  }

  std::uint32_t stored = 0;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string_view s = nameAt(names[i]);
    if (isSymbol[i] || s.substr(0, kImportPrefix.size()) != kImportPrefix) continue;
    TFonctionLib entry = FromMicrosoftName(s.substr(kImportPrefix.size()));
    TFonctionLib& slot = Fonctions.Item(stored++);
    slot.ArgLength = entry.ArgLength;
    slot.IsPascal = entry.IsPascal;
    slot.Name = std::move(entry.Name);
  }
  // What was read before a missing name stays in the list.
  if (cutShort) throw ERangeError();
  return Outcome::Done();
}
