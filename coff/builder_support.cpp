#include "coff/builder_support.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

// The member buffer grows as a member needs it; a member of more than 2 GB
// could not be described by the archive's offsets anyway.
void TFichierLib::AppendBytes(const void* source, std::size_t count) {
  const std::size_t start = static_cast<std::size_t>(BufferLength);
  if (count > static_cast<std::size_t>(INT32_MAX) - start)
    throw std::length_error("archive member too large");
  const std::size_t end = start + count;
  if (end > Buffer.size()) Buffer.resize(std::max(end, Buffer.size() * 2));
  if (count != 0) std::memcpy(Buffer.data() + start, source, count);
  BufferLength = static_cast<std::int32_t>(end);
}

namespace coff {

void AppendZeros(TFichierLib& lib, std::size_t count) {
  static constexpr std::uint8_t kZeros[4096] = {};
  while (count > 0) {
    std::size_t n = std::min(count, sizeof kZeros);
    lib.AppendBytes(kZeros, n);
    count -= n;
  }
}

void AppendImportDescriptorName(TFichierLib& lib) {
  AppendText(lib, kImportDescriptorPrefix);
  AppendName(lib, AsCString(lib.DllBaseName));
}

void AppendNullDescriptorName(TFichierLib& lib) { AppendName(lib, kNullImportDescriptor); }

void AppendNullThunkName(TFichierLib& lib) {
  lib.AppendBytes(&kNullThunkLead, 1);
  AppendText(lib, AsCString(lib.DllBaseName));
  AppendName(lib, kNullThunkSuffix);
}

void AppendImportName(TFichierLib& lib, std::string_view symbol) {
  AppendText(lib, kImportPrefix);
  AppendName(lib, symbol);
}

void AppendDllName(TFichierLib& lib) {
  AppendText(lib, AsCString(lib.DllBaseName));
  AppendName(lib, kDllSuffix);
}

std::string SymbolOfEntry(TFichierLib& lib, std::int32_t i) {
  std::string symbol = MicrosoftName(lib.Fonctions.Item(static_cast<std::uint32_t>(i)));
  symbol.resize(AsCString(symbol).size());
  return symbol;
}

}  // namespace coff
