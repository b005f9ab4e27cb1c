// One short import member: the import header, the symbol and the DLL name.
#include "coff/builder_support.h"

using namespace coff;

void TFichierLib::BuildShortImport(std::int32_t k) {
  BufferLength = 0;
  ShortImportPos = FilePos;
  const std::string symbol = SymbolOfEntry(*this, SortOrder[k]);
  const std::size_t dllBase = AsCString(DllBaseName).size();

  ShortImportHeader header;
  header.timeDateStamp = TimeStamp;
  header.sizeOfData = Size32(symbol.size() + 1 + dllBase + kDllSuffix.size() + 1);
  // The hint is the member's place in the sorted order; past 65535 it wraps,
  // which only costs the loader its first guess.
  header.hint = static_cast<std::uint16_t>(k);
  AppendRecord(*this, header.Bytes());
  AppendName(*this, symbol);
  AppendDllName(*this);
}
