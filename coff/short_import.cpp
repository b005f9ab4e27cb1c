// One short import member: the import header, the symbol and the DLL name.
#include "coff/builder_support.h"

namespace coff {

MemberBytes ShortImportObject(const ImportMember& import, std::int32_t stamp) {
  ShortImportHeader header;
  header.timeDateStamp = stamp;
  header.sizeOfData = Size32(import.symbol.size() + 1 + import.dll->file.size() + 1);
  header.hint = import.hint;
  const ImportType type = import.kind == ImportKind::Data    ? ImportType::Data
                          : import.kind == ImportKind::Const ? ImportType::Const
                                                             : ImportType::Code;
  header.type = ImportTypeField(type, import.nameType);
  MemberBytes out;
  out.reserve(ShortImportHeader::kSize + header.sizeOfData);
  AppendRecord(out, header.Bytes());
  AppendName(out, import.symbol);
  AppendName(out, import.dll->file);
  return out;
}

}  // namespace coff
