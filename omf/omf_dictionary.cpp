#include "omf/omf_dictionary.h"

#include <algorithm>
#include <cstring>

#include "omf/omf_records.h"

namespace omf {
namespace {

std::uint16_t RotateLeft2(std::uint16_t v) { return static_cast<std::uint16_t>(v << 2 | v >> 14); }
std::uint16_t RotateRight2(std::uint16_t v) { return static_cast<std::uint16_t>(v >> 2 | v << 14); }

bool IsPrime(std::uint32_t n) {
  if (n < 2) return false;
  for (std::uint32_t d = 2; d * d <= n; ++d)
    if (n % d == 0) return false;
  return true;
}

std::uint32_t PrimeAtLeast(std::uint32_t n) {
  while (!IsPrime(n)) ++n;
  return n;
}

// Bytes an entry takes: counted name and page number, on an even offset.
std::size_t EntrySize(std::size_t nameLength) {
  return (1 + nameLength + sizeof(std::uint16_t) + 1) & ~std::size_t{1};
}

// Marks the block full, every bucket pointing at an entry (see Place).
void Close(std::uint8_t* block) {
  const std::uint8_t first = kFirstEntryOffset / 2;
  for (std::size_t k = 0; k < kBucketCount; ++k)
    if (block[k] == 0) block[k] = first;
  block[kFreeSpaceIndex] = kBlockFull;
}

// Places the name in the first block along its block sequence that takes
// it, at the first empty bucket along its bucket sequence. A lookup goes
// on to the next block only through a full block, and linkers differ on
// the bucket they go on with there: some start again from the name's
// first bucket, some keep the bucket they stopped at. So a block a name
// cannot use is closed: marked full, and each of its empty buckets made
// to point at an entry it holds. Lookups then try all 37 buckets, compare
// names that are not theirs, and come back round to their first bucket
// whatever their habit; the names it holds are still found, each before
// any bucket that was empty when it was placed.
bool Place(std::vector<std::uint8_t>& dictionary, std::uint32_t blocks, const DictionaryName& n) {
  const NameHash h = HashName(n.name, blocks);
  const std::size_t size = EntrySize(n.name.size());
  std::uint32_t b = h.blockStart;
  for (std::uint32_t tries = 0; tries < blocks; ++tries, b = (b + h.blockStep) % blocks) {
    std::uint8_t* block = dictionary.data() + std::size_t{b} * kDictionaryBlockSize;
    if (block[kFreeSpaceIndex] == kBlockFull) continue;
    std::size_t empty = kBucketCount;  // none
    std::size_t k = h.bucketStart;
    for (std::size_t i = 0; i < kBucketCount; ++i, k = (k + h.bucketStep) % kBucketCount) {
      if (block[k] == 0) {
        empty = k;
        break;
      }
    }
    const std::size_t free = std::size_t{block[kFreeSpaceIndex]} * 2;
    if (empty != kBucketCount && free + size <= kDictionaryBlockSize) {
      block[empty] = static_cast<std::uint8_t>(free / 2);
      block[free] = static_cast<std::uint8_t>(n.name.size());
      std::memcpy(block + free + 1, n.name.data(), n.name.size());
      block[free + 1 + n.name.size()] = static_cast<std::uint8_t>(n.page);
      block[free + 2 + n.name.size()] = static_cast<std::uint8_t>(n.page >> 8);
      // The free-space byte holds offset / 2; 510 / 2 would read as the
      // full mark, and past it no entry fits: close the block then.
      const std::size_t next = free + size;
      if (next / 2 < kBlockFull) {
        block[kFreeSpaceIndex] = static_cast<std::uint8_t>(next / 2);
        return true;
      }
      Close(block);
      return true;
    }
    // A block can only refuse a name once it holds an entry: an empty one
    // has room for the longest.
    Close(block);
  }
  return false;
}

bool TryBuild(const std::vector<DictionaryName>& names, std::uint32_t blocks,
              std::vector<std::uint8_t>& dictionary) {
  dictionary.assign(std::size_t{blocks} * kDictionaryBlockSize, 0);
  for (std::uint32_t b = 0; b < blocks; ++b)
    dictionary[std::size_t{b} * kDictionaryBlockSize + kFreeSpaceIndex] = kFirstEntryOffset / 2;
  for (const DictionaryName& n : names)
    if (!Place(dictionary, blocks, n)) return false;
  return true;
}

}  // namespace

NameHash HashName(std::string_view name, std::uint32_t blocks) {
  // The name is read from both ends at once, case folded.
  constexpr std::uint8_t kFold = 0x20;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(name.data());
  std::size_t length = name.size();
  std::uint16_t blockX = static_cast<std::uint16_t>(length | kFold);
  std::uint16_t bucketD = blockX;
  std::uint16_t blockD = 0;
  std::uint16_t bucketX = 0;
  std::size_t front = 0;
  std::size_t back = length;
  while (length != 0) {
    const std::uint16_t cBack = bytes[--back] | kFold;
    bucketX = RotateRight2(bucketX) ^ cBack;
    blockD = RotateLeft2(blockD) ^ cBack;
    if (--length == 0) break;
    const std::uint16_t cFront = bytes[front++] | kFold;
    blockX = RotateLeft2(blockX) ^ cFront;
    bucketD = RotateRight2(bucketD) ^ cFront;
  }
  NameHash h;
  h.blockStart = blockX % blocks;
  h.blockStep = std::max<std::uint32_t>(blockD % blocks, 1);
  h.bucketStart = bucketX % kBucketCount;
  h.bucketStep = std::max<std::uint32_t>(bucketD % kBucketCount, 1);
  return h;
}

std::optional<std::vector<std::uint8_t>> BuildDictionary(const std::vector<DictionaryName>& names) {
  // Room to spare: blocks about half used, by bytes and by buckets.
  std::size_t bytes = 0;
  for (const DictionaryName& n : names) bytes += EntrySize(n.name.size());
  const std::size_t room = kDictionaryBlockSize - kFirstEntryOffset;
  const std::size_t wanted = std::max({std::size_t{1}, bytes * 2 / room + 1,
                                       names.size() * 2 / kBucketCount + 1});
  if (wanted > kMaxDictionaryBlocks) return std::nullopt;
  std::uint32_t blocks = PrimeAtLeast(static_cast<std::uint32_t>(wanted));
  std::vector<std::uint8_t> dictionary;
  constexpr std::uint32_t kMostBlocks = 65521;  // the largest prime a header can count
  for (;;) {
    if (TryBuild(names, blocks, dictionary)) return dictionary;
    if (blocks == kMostBlocks) break;
    blocks = std::min(kMostBlocks, PrimeAtLeast(blocks + blocks / 4 + 1));
  }
  return std::nullopt;
}

}  // namespace omf
