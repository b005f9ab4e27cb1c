// The records of binary files, each described once: a struct with named
// fields in file order and its size on disk, which readers decode and
// writers encode through the same description. Numbers are stored least
// significant byte first whatever the host, and nothing depends on the
// compiler's packing: a record lists its fields, and their offsets follow
// from that list.
//
// A record looks like this:
//
//   struct Relocation {
//     static constexpr std::size_t kSize = 10;
//     std::uint32_t VirtualAddress = 0;
//     std::uint32_t SymbolTableIndex = 0;
//     std::uint16_t Type = 0;
//     template <typename Self, typename Visit>
//     static constexpr void Fields(Self& r, Visit&& visit) {
//       visit(r.VirtualAddress), visit(r.SymbolTableIndex), visit(r.Type);
//     }
//   };
//
// Fields are fixed-width integers or std::array of bytes (copied as they
// are: names, signatures, text fields).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <span>
#include <string_view>
#include <type_traits>

namespace records {

// ---- Numbers -----------------------------------------------------------------

template <typename T>
constexpr T LoadLittle(const std::uint8_t* p) {
  static_assert(std::is_integral_v<T>);
  using U = std::make_unsigned_t<T>;
  U v = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i) v = static_cast<U>(v | static_cast<U>(U{p[i]} << (8 * i)));
  return static_cast<T>(v);
}

template <typename T>
constexpr void StoreLittle(std::uint8_t* p, T value) {
  static_assert(std::is_integral_v<T>);
  auto v = static_cast<std::make_unsigned_t<T>>(value);
  for (std::size_t i = 0; i < sizeof(T); ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The first linker member of an archive keeps its numbers the other way
// round.
constexpr std::uint32_t LoadBig32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}
constexpr void StoreBig32(std::uint8_t* p, std::uint32_t v) {
  for (std::size_t i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * (3 - i)));
}

// ---- Fields ------------------------------------------------------------------

template <typename T>
struct IsByteArray : std::false_type {};
template <typename B, std::size_t N>
struct IsByteArray<std::array<B, N>> : std::bool_constant<sizeof(B) == 1> {};

template <typename F>
constexpr std::size_t FieldSize() {
  using T = std::remove_cvref_t<F>;
  static_assert(std::is_integral_v<T> || IsByteArray<T>::value,
                "a record field is an integer or an array of bytes");
  return sizeof(T);
}

// A fixed text field filled from text, padded with zero bytes (cut when
// longer).
template <std::size_t N>
constexpr std::array<char, N> Text(std::string_view text) {
  std::array<char, N> field{};
  for (std::size_t i = 0; i < N && i < text.size(); ++i) field[i] = text[i];
  return field;
}

// The text of a field up to its first zero byte.
template <std::size_t N>
std::string_view TextOf(const std::array<char, N>& field) {
  const std::string_view all(field.data(), N);
  return all.substr(0, all.find('\0'));
}

// ---- Records -----------------------------------------------------------------

// The bytes the record's fields take together.
template <typename R>
constexpr std::size_t SizeOf() {
  R r{};
  std::size_t size = 0;
  R::Fields(r, [&size](auto& field) { size += FieldSize<decltype(field)>(); });
  return size;
}

// Where a field starts on disk.
template <typename R, typename T>
constexpr std::size_t OffsetOf(T R::*member) {
  R r{};
  std::size_t at = 0;
  std::size_t found = std::numeric_limits<std::size_t>::max();
  R::Fields(r, [&](auto& field) {
    if constexpr (std::is_same_v<std::remove_cvref_t<decltype(field)>, T>)
      if (&field == &(r.*member)) found = at;
    at += FieldSize<decltype(field)>();
  });
  return found;
}

// Reads the record from R::kSize bytes at p; the caller makes sure they
// are there.
template <typename R>
R Decode(const std::uint8_t* p) {
  R r{};
  std::size_t at = 0;
  R::Fields(r, [&](auto& field) {
    using T = std::remove_cvref_t<decltype(field)>;
    if constexpr (std::is_integral_v<T>) field = LoadLittle<T>(p + at);
    else std::memcpy(field.data(), p + at, sizeof(T));
    at += sizeof(T);
  });
  return r;
}

template <typename R>
void Encode(const R& r, std::uint8_t* p) {
  std::size_t at = 0;
  R::Fields(r, [&](const auto& field) {
    using T = std::remove_cvref_t<decltype(field)>;
    if constexpr (std::is_integral_v<T>) StoreLittle(p + at, field);
    else std::memcpy(p + at, field.data(), sizeof(T));
    at += sizeof(T);
  });
}

template <typename R>
std::array<std::uint8_t, R::kSize> Bytes(const R& r) {
  std::array<std::uint8_t, R::kSize> bytes{};
  Encode(r, bytes.data());
  return bytes;
}

// The record at `at` in the bytes, when all of it is there.
template <typename R>
bool DecodeAt(std::span<const std::uint8_t> bytes, std::uint64_t at, R& r) {
  if (at > bytes.size() || bytes.size() - at < R::kSize) return false;
  r = Decode<R>(bytes.data() + at);
  return true;
}

}  // namespace records

// Reverses the four bytes of a 32-bit number.
void SwapBytes32(const void* source, void* destination);
