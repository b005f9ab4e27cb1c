#include "platform/collation.h"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/ucnv.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace platform {

namespace {

// "fr_FR.UTF-8@euro" → "fr_FR": the code set and the modifier say nothing
// about the order of letters.
std::string LanguageAndTerritory(const std::string& posixLocale) {
  return posixLocale.substr(0, posixLocale.find_first_of(".@"));
}

bool IsPlainLocale(const std::string& name) {
  return name.empty() || name == "C" || name == "POSIX";
}

}  // namespace

std::string CollationLocaleFromEnvironment() {
  for (const char* variable : {"LC_ALL", "LC_COLLATE", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return value;
  }
  return "";
}

struct Collation::Impl {
  std::unique_ptr<icu::Collator> collator;
  UConverter* converter = nullptr;
  mutable std::u16string scratch;

  ~Impl() {
    if (converter != nullptr) ucnv_close(converter);
  }

  // The text in UTF-16, in scratch. Plain ASCII, by far the usual case
  // for symbols, is widened directly.
  const std::u16string& ToUtf16(std::string_view ansi) const {
    scratch.resize(ansi.size());
    bool ascii = true;
    for (std::size_t i = 0; i < ansi.size(); ++i) {
      auto c = static_cast<unsigned char>(ansi[i]);
      if (c >= 0x80) {
        ascii = false;
        break;
      }
      scratch[i] = c;
    }
    if (ascii) return scratch;
    scratch.resize(ansi.size() * 2 + 1);
    UErrorCode status = U_ZERO_ERROR;
    int32_t n = converter == nullptr ? 0
                : ucnv_toUChars(converter, scratch.data(), static_cast<int32_t>(scratch.size()),
                                ansi.data(), static_cast<int32_t>(ansi.size()), &status);
    if (converter != nullptr && U_SUCCESS(status)) {
      scratch.resize(static_cast<std::size_t>(n));
    } else {  // without the converter, the bytes as Latin-1
      scratch.resize(ansi.size());
      for (std::size_t i = 0; i < ansi.size(); ++i) scratch[i] = static_cast<unsigned char>(ansi[i]);
    }
    return scratch;
  }
};

Collation::Collation() : Collation(CollationLocaleFromEnvironment()) {}

Collation::Collation(const std::string& posixLocale) : impl_(std::make_unique<Impl>()) {
  const std::string name = LanguageAndTerritory(posixLocale);
  UErrorCode status = U_ZERO_ERROR;
  if (!IsPlainLocale(name)) {
    icu::Locale locale = icu::Locale::createCanonical(name.c_str());
    impl_->collator.reset(icu::Collator::createInstance(locale, status));
    // A locale without collation data of its own falls back to the root.
    if (U_FAILURE(status) || status == U_USING_DEFAULT_WARNING || locale.isBogus())
      impl_->collator.reset();
    else
      localeName_ = locale.getName();
  }
  if (!impl_->collator) {
    status = U_ZERO_ERROR;
    impl_->collator.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
    localeName_ = "root";
  }
  if (impl_->collator) impl_->collator->setStrength(icu::Collator::TERTIARY);
  status = U_ZERO_ERROR;
  impl_->converter = ucnv_open("windows-1252", &status);
  if (U_FAILURE(status)) impl_->converter = nullptr;
}

Collation::~Collation() = default;

void Collation::AppendSortKey(std::string_view ansi, std::string& keys) const {
  if (!impl_->collator) {  // no collation data at all: the order of the bytes
    keys.append(ansi.substr(0, ansi.find('\0')));
    keys.push_back('\0');
    return;
  }
  const std::u16string& text = impl_->ToUtf16(ansi);
  const std::size_t start = keys.size();
  std::size_t room = text.size() * 4 + 16;
  for (;;) {
    keys.resize(start + room);
    int32_t needed = impl_->collator->getSortKey(
        text.data(), static_cast<int32_t>(text.size()),
        reinterpret_cast<uint8_t*>(keys.data() + start), static_cast<int32_t>(room));
    if (needed <= 0) {  // no key could be made: an empty key sorts first
      keys.resize(start);
      keys.push_back('\0');
      return;
    }
    if (static_cast<std::size_t>(needed) <= room) {
      keys.resize(start + static_cast<std::size_t>(needed));  // the key's own zero included
      return;
    }
    room = static_cast<std::size_t>(needed);
  }
}

int Collation::Compare(std::string_view ansiA, std::string_view ansiB) const {
  std::string keys;
  AppendSortKey(ansiA, keys);
  const std::size_t second = keys.size();
  AppendSortKey(ansiB, keys);
  return std::strcmp(keys.c_str(), keys.c_str() + second);
}

namespace {

// Keys are sorted eight bytes at a time: each record carries the next
// eight bytes of its key as one number, so most comparisons touch no key
// at all; only records whose bytes so far are equal look further.
struct KeyRecord {
  std::uint64_t chunk;  // key bytes [depth, depth + 8), most significant first
  std::size_t keyAt;
  std::int32_t index;
};

constexpr std::size_t kChunkBytes = sizeof(std::uint64_t);

// A sort key holds no zero byte but its last, and a chunk reads the bytes
// past a key's end as zero: a chunk holds its key's end exactly when its
// last byte is zero.
bool HoldsKeyEnd(std::uint64_t chunk) { return (chunk & 0xFF) == 0; }

void SortByKeys(KeyRecord* first, KeyRecord* last, const char* keys, std::size_t depth) {
  for (KeyRecord* r = first; r != last; ++r) {
    const char* key = keys + r->keyAt + depth;
    std::uint64_t chunk = 0;
    std::size_t i = 0;
    for (; i < kChunkBytes && key[i] != '\0'; ++i)
      chunk = (chunk << 8) | static_cast<unsigned char>(key[i]);
    // The zero and what follows read as 0.
    r->chunk = i == 0 ? 0 : chunk << (8 * (kChunkBytes - i));
  }
  // Equal keys fall back on the index, which makes the order stable.
  std::sort(first, last, [](const KeyRecord& a, const KeyRecord& b) {
    return a.chunk != b.chunk ? a.chunk < b.chunk : a.index < b.index;
  });
  for (KeyRecord* run = first; run != last;) {
    KeyRecord* end = run + 1;
    while (end != last && end->chunk == run->chunk) ++end;
    if (end - run > 1 && !HoldsKeyEnd(run->chunk)) SortByKeys(run, end, keys, depth + kChunkBytes);
    run = end;
  }
}

}  // namespace

std::vector<std::int32_t> CollationOrder(const std::vector<std::string>& ansiTexts,
                                         const Collation& collation) {
  const std::size_t n = ansiTexts.size();
  // One key per text, computed once, all in one block.
  std::string keys;
  std::vector<KeyRecord> records(n);
  for (std::size_t i = 0; i < n; ++i) {
    records[i] = KeyRecord{0, keys.size(), static_cast<std::int32_t>(i)};
    collation.AppendSortKey(ansiTexts[i], keys);
  }
  SortByKeys(records.data(), records.data() + n, keys.data(), 0);
  std::vector<std::int32_t> order(n);
  for (std::size_t k = 0; k < n; ++k) order[k] = records[k].index;
  return order;
}

}  // namespace platform
