// The library writer: takes the time stamp and the DLL name, sorts the
// entries, writes every member front to back, then goes back to fill the
// linker members' tables, whose offsets are only known at the end.
//
// The bytes go through a safe save: until the whole library is written
// the old file stays as it was.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <stdexcept>

#include "coff/builder_support.h"
#include "coff/dll_base_name.h"
#include "coff/symbol_order.h"
#include "platform/clock.h"
#include "platform/safe_save.h"

using namespace coff;

namespace {

// Offsets inside the archive are 32-bit, and seeks signed 32-bit.
constexpr std::int64_t kMaxLibrarySize = INT32_MAX;

class LibraryTooLarge : public std::length_error {
 public:
  LibraryTooLarge() : std::length_error("library too large") {}
};


// A field of the member header: the text left-justified, padded with
// spaces, cut to the field's width.
void PutField(char* field, std::size_t width, std::string_view text) {
  std::memset(field, ' ', width);
  std::memcpy(field, text.data(), std::min(width, text.size()));
}

// The file offset of each entry's short import member, in list order.
std::vector<std::uint32_t> OffsetsInListOrder(const TFichierLib& lib) {
  std::vector<std::uint32_t> offsets(lib.SortOrder.size());
  for (std::size_t k = 0; k < lib.SortOrder.size(); ++k)
    offsets[static_cast<std::size_t>(lib.SortOrder[k])] = static_cast<std::uint32_t>(lib.MemberPos[k]);
  return offsets;
}

std::vector<std::uint8_t> FirstLinkerTables(const TFichierLib& lib,
                                            const std::vector<std::uint32_t>& offsets) {
  const std::size_t symbols = 2 * offsets.size() + kFixedMembers;
  std::vector<std::uint8_t> t(4 * (symbols + 1));
  std::uint8_t* p = t.data();
  auto put = [&p](std::uint32_t v) { StoreBig32(p, v); p += 4; };
  put(static_cast<std::uint32_t>(symbols));
  put(static_cast<std::uint32_t>(lib.ImportDescriptorPos));
  put(static_cast<std::uint32_t>(lib.NullDescriptorPos));
  put(static_cast<std::uint32_t>(lib.NullThunkPos));
  for (std::uint32_t offset : offsets) {
    put(offset);  // the symbol
    put(offset);  // its "__imp_" form
  }
  return t;
}

std::vector<std::uint8_t> SecondLinkerTables(const TFichierLib& lib,
                                             const std::vector<std::uint32_t>& offsets) {
  const std::size_t n = offsets.size();
  std::vector<std::uint8_t> t(4 * (n + 5) + 2 * (2 * n + 3));
  std::uint8_t* p = t.data();
  auto put32 = [&p](std::uint32_t v) { StoreLittle(p, v); p += 4; };
  auto put16 = [&p](std::uint32_t v) { StoreLittle(p, static_cast<std::uint16_t>(v)); p += 2; };
  put32(static_cast<std::uint32_t>(n + kFixedMembers));
  put32(static_cast<std::uint32_t>(lib.ImportDescriptorPos));
  put32(static_cast<std::uint32_t>(lib.NullDescriptorPos));
  put32(static_cast<std::uint32_t>(lib.NullThunkPos));
  for (std::uint32_t offset : offsets) put32(offset);
  put32(static_cast<std::uint32_t>(2 * n + kFixedMembers));
  // 1-based member indices: the three objects are 1, 2, 3; entry i is i + 4.
  for (std::int32_t x : lib.SortOrder) put16(static_cast<std::uint32_t>(x) + kFixedMembers + 1);
  put16(1);
  put16(2);
  for (std::int32_t x : lib.SortOrder) put16(static_cast<std::uint32_t>(x) + kFixedMembers + 1);
  put16(3);
  return t;
}

}  // namespace

void SwapBytes32(const void* source, void* destination) {
  const auto* s = static_cast<const std::uint8_t*>(source);
  std::uint8_t swapped[4] = {s[3], s[2], s[1], s[0]};
  std::memcpy(destination, swapped, 4);
}

bool TFichierLib::WriteMember(SafeSave& file, const AnsiString& memberName) {
  const std::int64_t end = std::int64_t{FilePos} + kMemberHeaderSize + BufferLength + (BufferLength & 1);
  if (end > kMaxLibrarySize) throw LibraryTooLarge();

  char header[kMemberHeaderSize];
  char* at = header;
  PutField(at, kMemberNameWidth, AsCString(memberName));
  at += kMemberNameWidth;
  PutField(at, kMemberDateWidth, std::to_string(TimeStamp));
  at += kMemberDateWidth;
  PutField(at, kMemberBlankWidth, "");
  at += kMemberBlankWidth;
  PutField(at, kMemberModeWidth, "0");
  at += kMemberModeWidth;
  PutField(at, kMemberSizeWidth, std::to_string(BufferLength));
  at += kMemberSizeWidth;
  std::memcpy(at, kMemberHeaderEnd, sizeof kMemberHeaderEnd);

  bool ok = file.Write(header, sizeof header) &&
            file.Write(Buffer.data(), static_cast<std::uint32_t>(BufferLength));
  if (BufferLength & 1) ok = ok && file.Write(&kMemberPad, 1);
  FilePos = static_cast<std::int32_t>(end);
  return ok;
}

Outcome TFichierLib::WriteCoffLibrary(const std::string& fileName) {
  TimeStamp = platform::TimeStampNow();
  DllBaseName = DllBaseNameOf(fileName);
  const auto n = static_cast<std::int32_t>(Fonctions.Count);
  SortOrder = SymbolSortOrder(*this);
  MemberPos.assign(static_cast<std::size_t>(n), 0);

  SafeSave file(fileName);
  if (!file.IsOpen()) return Outcome::CannotOpen(file.Error());
  try {
    file.Write(kArchiveSignature, kArchiveSignatureSize);
    FilePos = kArchiveSignatureSize;
    const AnsiString importMember = AnsiString(AsCString(DllBaseName)) + AnsiString(kDllSuffix) + "/";
    const AnsiString linkerMember(kLinkerMemberName);

    BuildFirstLinkerMember();
    WriteMember(file, linkerMember);
    // Past 65535 members the second linker member's 16-bit indices cannot
    // name them; the archive then has the first linker member alone, which
    // linkers read in its place.
    const bool secondLinker =
        static_cast<std::uint64_t>(n) + kFixedMembers <= kMaxIndexedMembers;
    if (secondLinker) {
      BuildSecondLinkerMember();
      WriteMember(file, linkerMember);
    }
    BuildImportDescriptor();
    WriteMember(file, importMember);
    BuildNullImportDescriptor();
    WriteMember(file, importMember);
    BuildNullThunk();
    WriteMember(file, importMember);
    for (std::int32_t k = 0; k < n; ++k) {
      BuildShortImport(k);
      WriteMember(file, importMember);
      MemberPos[static_cast<std::size_t>(k)] = ShortImportPos;
    }

    const std::vector<std::uint32_t> offsets = OffsetsInListOrder(*this);
    std::vector<std::uint8_t> tables = FirstLinkerTables(*this, offsets);
    file.Seek(static_cast<std::uint32_t>(FirstLinkerPos) + kMemberHeaderSize);
    file.Write(tables.data(), static_cast<std::uint32_t>(tables.size()));
    if (secondLinker) {
      tables = SecondLinkerTables(*this, offsets);
      file.Seek(static_cast<std::uint32_t>(SecondLinkerPos) + kMemberHeaderSize);
      file.Write(tables.data(), static_cast<std::uint32_t>(tables.size()));
    }
  } catch (const std::length_error&) {
    // The save is abandoned when the SafeSave goes: the old file stays.
    return Outcome::CannotWrite(EFBIG, "the library would pass the 2 GB an archive can address");
  } catch (const std::bad_alloc&) {
    return Outcome::CannotWrite(ENOMEM);
  }
  if (!file.Commit()) return Outcome::CannotWrite(file.Error());
  return Outcome::Done();
}
