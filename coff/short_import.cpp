// One short import member: the import header, the symbol and the DLL name.
#include "coff/import_members.h"
#include "model/machine.h"

namespace coff {

Bytes ShortImportObject(const ImportMember& import, std::int32_t stamp) {
  ImportHeader header;
  header.machine = import.machine;
  header.timeDateStamp = stamp;
  header.sizeOfData = Size32(import.symbol.size() + 1 + import.dll->file.size() + 1);
  header.ordinalOrHint = import.hint;
  const ImportType type = import.kind == ImportKind::Data    ? ImportType::Data
                          : import.kind == ImportKind::Const ? ImportType::Const
                                                             : ImportType::Code;
  header.type = ImportHeader::TypeField(type, import.nameType);
  Bytes out;
  out.reserve(ImportHeader::kSize + header.sizeOfData);
  AppendRecord(out, header);
  AppendName(out, import.symbol);
  AppendName(out, import.dll->file);
  return out;
}

}  // namespace coff
