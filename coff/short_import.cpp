// One short import member: the import header, the symbol, the DLL name and,
// for the "export as" name type, the export name.
#include "coff/import_members.h"
#include "model/machine.h"

namespace coff {

Bytes ShortImportObject(const ImportMember& import, std::int32_t stamp) {
  ImportHeader header;
  header.machine = MachineNumber(import.machine);
  header.timeDateStamp = stamp;
  const std::string& symbol = import.memberSymbol.empty() ? import.symbol : import.memberSymbol;
  const bool exportAs = import.nameType == NameType::ExportAs;
  header.sizeOfData = Size32(symbol.size() + 1 + import.dll->file.size() + 1 +
                             (exportAs ? import.exportName.size() + 1 : 0));
  header.ordinalOrHint = import.hint;
  const ImportType type = import.kind == ImportKind::Data    ? ImportType::Data
                          : import.kind == ImportKind::Const ? ImportType::Const
                                                             : ImportType::Code;
  header.type = ImportHeader::TypeField(type, import.nameType);
  Bytes out;
  out.reserve(ImportHeader::kSize + header.sizeOfData);
  AppendRecord(out, header);
  AppendName(out, symbol);
  AppendName(out, import.dll->file);
  if (exportAs) AppendName(out, import.exportName);
  return out;
}

}  // namespace coff
