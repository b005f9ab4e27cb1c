// The records of a COFF import library, each described once for the
// reader and the writer: the archive and its member header, the COFF
// object's symbols and relocations, the short import header, the import
// directory entry, and the fixed names the import machinery is made of.
// The file and section headers, shared with PE images, are in
// model/coff_headers.h.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "model/coff_headers.h"
#include "platform/records.h"

namespace coff {

using coffhdr::FileHeader;
using coffhdr::SectionHeader;

// ---- Archive ---------------------------------------------------------------

inline constexpr std::string_view kArchiveSignature = "!<arch>\n";
// The linker members and the long-names member; other names that start
// with "/" and go on with no digit are indexes too ("/123" is an ordinary
// member whose name is the long-names member's text at 123).
inline constexpr std::string_view kLinkerMemberName = "/";
inline constexpr std::string_view kLongNamesMemberName = "//";
// An ARM64EC library's index of its EC symbols.
inline constexpr std::string_view kEcSymbolsMemberName = "/<ECSYMBOLS>/";
inline constexpr std::uint8_t kMemberPad = '\n';  // after a member of odd size

// The 60-byte member header, all text, each field left-justified and
// padded with blanks.
struct MemberHeader {
  static constexpr std::size_t kSize = 60;
  std::array<char, 16> name{};
  std::array<char, 12> date{};
  std::array<char, 6> userId{};
  std::array<char, 6> groupId{};
  std::array<char, 8> mode{};
  std::array<char, 10> size{};
  std::array<char, 2> end{};

  static constexpr std::array<char, 2> kEnd = {'`', '\n'};

  template <typename Self, typename Visit>
  static constexpr void Fields(Self& r, Visit&& v) {
    v(r.name), v(r.date), v(r.userId), v(r.groupId), v(r.mode), v(r.size), v(r.end);
  }

  // A header for a member of the given name, time stamp and data size;
  // the user and group are left blank and the mode is "0".
  static MemberHeader For(std::string_view name, std::int32_t stamp, std::uint64_t dataSize,
                          std::string_view owner = {}, std::string_view mode = "0");

  // The name field less its trailing blanks.
  std::string_view Name() const;
  // The size field's decimal number; false when it holds none.
  bool Size(std::uint64_t& dataSize) const;
  bool EndMarked() const { return end == kEnd; }
};
static_assert(records::SizeOf<MemberHeader>() == MemberHeader::kSize);

bool IsSpecialMemberName(std::string_view name);

// The first linker member: a 32-bit count and that many 32-bit member
// offsets, most significant byte first, then the names. The second: the
// member count and offsets, the symbol count and 16-bit member indices,
// least significant byte first, then the names.
inline constexpr std::size_t kLinkerNumberSize = 4;
inline constexpr std::size_t kLinkerIndexSize = 2;
// Member indices of the second linker member are 16-bit: past this many
// members it cannot name them all.
inline constexpr std::uint32_t kMaxIndexedMembers = 0xFFFF;

// ---- COFF object -----------------------------------------------------------

// A symbol's name is in place when it has up to 8 characters; otherwise
// the first four bytes are zero and the next four its string table offset.
struct Symbol {
  static constexpr std::size_t kSize = 18;
  std::array<std::uint8_t, 8> name{};
  std::uint32_t value = 0;
  std::int16_t sectionNumber = 0;  // 1-based; 0 undefined, negative special
  std::uint16_t type = 0;
  std::uint8_t storageClass = 0;
  std::uint8_t numberOfAuxSymbols = 0;

  template <typename Self, typename Visit>
  static constexpr void Fields(Self& r, Visit&& v) {
    v(r.name), v(r.value), v(r.sectionNumber), v(r.type), v(r.storageClass),
        v(r.numberOfAuxSymbols);
  }

  bool NameInPlace() const { return records::LoadLittle<std::uint32_t>(name.data()) != 0; }
  std::uint32_t NameOffset() const { return records::LoadLittle<std::uint32_t>(name.data() + 4); }

  // A symbol named in place (up to 8 characters) or by its string table
  // offset.
  static constexpr Symbol Short(std::string_view text, std::uint32_t value, std::int16_t section,
                                std::uint8_t storageClass) {
    Symbol s;
    for (std::size_t i = 0; i < s.name.size() && i < text.size(); ++i)
      s.name[i] = static_cast<std::uint8_t>(text[i]);
    s.value = value;
    s.sectionNumber = section;
    s.storageClass = storageClass;
    return s;
  }
  static constexpr Symbol Long(std::uint32_t stringOffset, std::uint32_t value,
                               std::int16_t section, std::uint8_t storageClass) {
    Symbol s;
    records::StoreLittle(s.name.data() + 4, stringOffset);
    s.value = value;
    s.sectionNumber = section;
    s.storageClass = storageClass;
    return s;
  }
};
static_assert(records::SizeOf<Symbol>() == Symbol::kSize);

inline constexpr std::int16_t kSectionUndefined = 0;
inline constexpr std::int16_t kSectionAbsolute = -1;
inline constexpr std::uint8_t kClassExternal = 2;
inline constexpr std::uint8_t kClassStatic = 3;
inline constexpr std::uint8_t kClassWeakExternal = 0x69;
// A weak external's auxiliary record: the index of the symbol it stands
// for, then how the linker searches (3: an alias of it).
inline constexpr std::uint32_t kWeakSearchAlias = 3;
inline constexpr std::uint8_t kClassSection = 104;

struct Relocation {
  static constexpr std::size_t kSize = 10;
  std::uint32_t virtualAddress = 0;
  std::uint32_t symbolTableIndex = 0;
  std::uint16_t type = 0;

  template <typename Self, typename Visit>
  static constexpr void Fields(Self& r, Visit&& v) {
    v(r.virtualAddress), v(r.symbolTableIndex), v(r.type);
  }
};
static_assert(records::SizeOf<Relocation>() == Relocation::kSize);

inline constexpr std::uint16_t kRelocI386Dir32 = 6;  // absolute address
inline constexpr std::uint16_t kRelocI386Rva32 = 7;  // address relative to the image base
inline constexpr std::uint16_t kRelocAmd64Rva32 = 3;  // ADDR32NB
inline constexpr std::uint16_t kRelocAmd64Rel32 = 4;  // relative to the end of the field
inline constexpr std::uint16_t kRelocArm64Rva32 = 2;  // ADDR32NB
inline constexpr std::uint16_t kRelocArm64PageBase21 = 4;  // adrp's page of the target
inline constexpr std::uint16_t kRelocArm64PageOffset12L = 7;  // ldr's scaled offset in that page
inline constexpr std::uint16_t kRelocI386Rel32 = 0x14;  // relative to the end of the field
inline constexpr std::uint16_t kRelocAmd64Addr64 = 1;  // absolute 64-bit address
inline constexpr std::uint16_t kRelocArm64Addr64 = 0xE;  // absolute 64-bit address
inline constexpr std::uint16_t kRelocArm64Branch26 = 3;  // b and bl
inline constexpr std::uint16_t kRelocArm64PageOffset12A = 6;  // add's offset in the page

// A string table begins with its own 32-bit size; the first name is at 4.
inline constexpr std::uint32_t kStringTableSizeField = 4;

// Section names of the import machinery.
inline constexpr std::string_view kDebugSection = ".debug$S";
inline constexpr std::string_view kTextSection = ".text";
inline constexpr std::string_view kDirectorySection = ".idata$2";      // directory entry
inline constexpr std::string_view kNullDirectorySection = ".idata$3";  // its terminator
inline constexpr std::string_view kLookupSection = ".idata$4";         // lookup table
inline constexpr std::string_view kAddressSection = ".idata$5";        // address table
inline constexpr std::string_view kNamesSection = ".idata$6";          // hint/names, DLL name
inline constexpr std::string_view kHeadLinkSection = ".idata$7";       // GNU: the head object
// A delay-load library's tables, in the writable ".didat" section. Each
// DLL's address and lookup tables are sections named after the table, the
// DLL's label and the part ("a" start, "b" an import, "c" terminator):
// linkers order same-prefixed sections by name, so each DLL's tables stay
// whole and in order however its objects were pulled in.
inline constexpr std::string_view kDelayAddressPrefix = ".didat$5-";
inline constexpr std::string_view kDelayLookupPrefix = ".didat$4-";
inline constexpr std::string_view kDelayNamesSection = ".didat$6";
inline constexpr std::string_view kDataSection = ".data";
inline constexpr std::string_view kReadOnlySection = ".rdata";

// One entry of the import directory: where the DLL's lookup table, name
// and address table are.
struct ImportDirectoryEntry {
  static constexpr std::size_t kSize = 20;
  std::uint32_t importLookupTableRva = 0;
  std::uint32_t timeDateStamp = 0;
  std::uint32_t forwarderChain = 0;
  std::uint32_t nameRva = 0;
  std::uint32_t importAddressTableRva = 0;

  template <typename Self, typename Visit>
  static constexpr void Fields(Self& r, Visit&& v) {
    v(r.importLookupTableRva), v(r.timeDateStamp), v(r.forwarderChain), v(r.nameRva),
        v(r.importAddressTableRva);
  }
};
static_assert(records::SizeOf<ImportDirectoryEntry>() == ImportDirectoryEntry::kSize);
inline constexpr std::uint32_t kDirectoryLookupTableAt =
    records::OffsetOf(&ImportDirectoryEntry::importLookupTableRva);
inline constexpr std::uint32_t kDirectoryNameAt = records::OffsetOf(&ImportDirectoryEntry::nameRva);
inline constexpr std::uint32_t kDirectoryAddressTableAt =
    records::OffsetOf(&ImportDirectoryEntry::importAddressTableRva);

// A delay-load descriptor, which the delay-load helper reads: the DLL's
// name, its module handle's slot, its address table (written at each
// first call) and its lookup table (what each slot asks for), all as
// addresses relative to the image base (attribute 1).
struct DelayImportDescriptor {
  static constexpr std::size_t kSize = 32;
  static constexpr std::uint32_t kRvaBased = 1;
  std::uint32_t attributes = kRvaBased;
  std::uint32_t dllNameRva = 0;
  std::uint32_t moduleHandleRva = 0;
  std::uint32_t importAddressTableRva = 0;
  std::uint32_t importNameTableRva = 0;
  std::uint32_t boundImportAddressTableRva = 0;
  std::uint32_t unloadInformationTableRva = 0;
  std::uint32_t timeDateStamp = 0;

  template <typename Self, typename Visit>
  static constexpr void Fields(Self& r, Visit&& v) {
    v(r.attributes), v(r.dllNameRva), v(r.moduleHandleRva), v(r.importAddressTableRva),
        v(r.importNameTableRva), v(r.boundImportAddressTableRva), v(r.unloadInformationTableRva),
        v(r.timeDateStamp);
  }
};
static_assert(records::SizeOf<DelayImportDescriptor>() == DelayImportDescriptor::kSize);
inline constexpr std::uint32_t kDelayDllNameAt = records::OffsetOf(&DelayImportDescriptor::dllNameRva);
inline constexpr std::uint32_t kDelayHandleAt = records::OffsetOf(&DelayImportDescriptor::moduleHandleRva);
inline constexpr std::uint32_t kDelayAddressTableAt =
    records::OffsetOf(&DelayImportDescriptor::importAddressTableRva);
inline constexpr std::uint32_t kDelayNameTableAt =
    records::OffsetOf(&DelayImportDescriptor::importNameTableRva);

// An import lookup entry of a 32-bit image: this bit set means "by
// ordinal", the ordinal in the low 16 bits; otherwise it is the address of
// a 2-byte hint and the name.
inline constexpr std::uint32_t kOrdinalFlag32 = 0x80000000u;
inline constexpr std::uint32_t kOrdinalMask = 0xFFFFu;
inline constexpr std::uint32_t kThunkSize32 = 4;
// The same for a 64-bit image: the flag is the top bit of 64.
inline constexpr std::uint64_t kOrdinalFlag64 = 0x8000000000000000u;
inline constexpr std::uint32_t kThunkSize64 = 8;
inline constexpr std::size_t kHintSize = 2;

// ---- Short import member ---------------------------------------------------

// What the import's address slot holds for the client.
enum class ImportType : std::uint16_t { Code = 0, Data = 1, Const = 2 };
// What the loader looks up: the ordinal in the hint field, the symbol as
// it is, the symbol less its first '?', '@' or '_', that and nothing from
// the first '@' on, or the name that follows the DLL's.
enum class NameType : std::uint16_t { Ordinal = 0, Name = 1, NoPrefix = 2, Undecorate = 3, ExportAs = 4 };

// The header, then the symbol, the DLL name and, for the "export as" name
// type, the export name, each closed by a zero byte.
struct ImportHeader {
  static constexpr std::size_t kSize = 20;
  static constexpr std::uint16_t kSig2 = 0xFFFF;
  std::uint16_t sig1 = 0;
  std::uint16_t sig2 = kSig2;
  std::uint16_t version = 0;
  std::uint16_t machine = 0;
  std::int32_t timeDateStamp = 0;
  std::uint32_t sizeOfData = 0;
  std::uint16_t ordinalOrHint = 0;
  std::uint16_t type = 0;  // import type in bits 0-1, name type in bits 2-4

  template <typename Self, typename Visit>
  static constexpr void Fields(Self& r, Visit&& v) {
    v(r.sig1), v(r.sig2), v(r.version), v(r.machine), v(r.timeDateStamp), v(r.sizeOfData),
        v(r.ordinalOrHint), v(r.type);
  }

  bool Signed() const { return sig1 == 0 && sig2 == kSig2; }
  unsigned ImportTypeBits() const { return type & 0x3u; }
  unsigned NameTypeBits() const { return (type >> 2) & 0x7u; }
  static constexpr std::uint16_t TypeField(ImportType import, NameType name) {
    return static_cast<std::uint16_t>(static_cast<std::uint16_t>(import) |
                                      static_cast<std::uint16_t>(name) << 2);
  }
};
static_assert(records::SizeOf<ImportHeader>() == ImportHeader::kSize);

// ---- Fixed names -----------------------------------------------------------

inline constexpr std::string_view kImportPrefix = "__imp_";
inline constexpr std::string_view kImportDescriptorPrefix = "__IMPORT_DESCRIPTOR_";
inline constexpr std::string_view kNullImportDescriptor = "__NULL_IMPORT_DESCRIPTOR";
inline constexpr char kNullThunkLead = '\x7F';
inline constexpr std::string_view kNullThunkSuffix = "_NULL_THUNK_DATA";
// GNU's head and tail objects: "__head_" + the library's name, and the
// tail's symbol that holds the DLL name ends in "_iname".
inline constexpr std::string_view kGnuHeadPrefix = "__head_";
inline constexpr std::string_view kGnuDllNameSuffix = "_iname";
// A delay-load library's: its descriptor and the trampoline that every
// first call of its DLL's functions passes through.
inline constexpr std::string_view kDelayDescriptorPrefix = "__DELAY_IMPORT_DESCRIPTOR_";
inline constexpr std::string_view kTailMergePrefix = "__tailMerge_";

}  // namespace coff
