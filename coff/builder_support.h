// Small helpers the member builders share: appending records and names to
// the member buffer, and the names every member is made of.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "coff/coff_layout.h"
#include "model/fichier_lib.h"

namespace coff {

// A text as the C formatting functions see it: up to its first zero byte.
// A name with a zero byte inside would otherwise split into two names.
inline std::string_view AsCString(const std::string& text) {
  return std::string_view(text.c_str());
}

template <std::size_t N>
inline void AppendRecord(TFichierLib& lib, const std::array<std::uint8_t, N>& bytes) {
  lib.AppendBytes(bytes.data(), N);
}

inline void AppendText(TFichierLib& lib, std::string_view text) {
  lib.AppendBytes(text.data(), text.size());
}

// The text and its terminating zero byte.
inline void AppendName(TFichierLib& lib, std::string_view text) {
  static constexpr char kZero = 0;
  lib.AppendBytes(text.data(), text.size());
  lib.AppendBytes(&kZero, 1);
}

void AppendZeros(TFichierLib& lib, std::size_t count);

// "__IMPORT_DESCRIPTOR_" + B, "__NULL_IMPORT_DESCRIPTOR", 0x7F + B +
// "_NULL_THUNK_DATA", "__imp_" + S and B + ".dll", each with its zero.
void AppendImportDescriptorName(TFichierLib& lib);
void AppendNullDescriptorName(TFichierLib& lib);
void AppendNullThunkName(TFichierLib& lib);
void AppendImportName(TFichierLib& lib, std::string_view symbol);
void AppendDllName(TFichierLib& lib);

// S of the entry at list index i (the Microsoft symbol).
std::string SymbolOfEntry(TFichierLib& lib, std::int32_t i);

// The data size of the member being built, as the 32-bit fields hold it.
inline std::uint32_t Size32(std::size_t size) { return static_cast<std::uint32_t>(size); }

}  // namespace coff
