// Builds OMF records and OMF import libraries for tests.
//
//   omf::LibraryBuilder lib(512);                  // page size
//   lib.AddImports({{"_Foo"}, {"Bar", "OTHER.DLL", "Bar"}});  // one module each
//   lib.AddModule(omf::Join({omf::ModuleHeader("m"), omf::ImportDefinition({"_A"}),
//                            omf::ModuleEnd()}));   // any records, as given
//   lib.WithDictionary();
//   lib.WriteTo(dir.File("x.lib"));
//
// The library header fills the first page; every module is padded with
// zeros to the next page boundary; the library end record follows (padded
// so that the dictionary, when there is one, starts on a 512-byte
// boundary), then the dictionary blocks.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "omf/omf_records.h"
#include "tests/support/test_files.h"

namespace omf {

// The byte strings one after the other.
Bytes Join(std::initializer_list<Bytes> parts);

// A length-prefixed string (at most 255 bytes; longer is an error).
Bytes Counted(const std::string& text);

// One record: type, 16-bit length, body, and the checksum that makes the
// record's bytes sum to zero.
Bytes Record(std::uint8_t type, const Bytes& body);

Bytes ModuleHeader(const std::string& name);  // THEADR
Bytes ModuleEnd(bool is32 = false);           // MODEND (0x8A or 0x8B), no start address
Bytes Comment(std::uint8_t commentClass, const Bytes& body, std::uint8_t commentType = 0,
              std::uint8_t recordType = kComment);

// One imported function: by name (an empty entry name means the internal
// name) or by ordinal.
struct Import {
  Import(std::string internalName, std::string moduleName = "MYLIB.DLL",
         std::string entryName = "");
  static Import ByOrdinal(std::string internalName, std::uint16_t ordinal,
                          std::string moduleName = "MYLIB.DLL");

  std::string internalName;
  std::string moduleName;
  std::string entryName;
  bool byOrdinal = false;
  std::uint16_t ordinal = 0;
};
// Comment class 0xA0, subtype 0x01.
Bytes ImportDefinition(const Import& import, std::uint8_t commentType = 0);
// Comment class 0xA0, subtype 0x02 (no ordinal).
Bytes ExportDefinition(const std::string& exportedName, const std::string& internalName = "");

class LibraryBuilder {
 public:
  // pageSize: a power of two from 16 to 32768.
  explicit LibraryBuilder(std::uint32_t pageSize = kDefaultPageSize);

  // A module of the given records, written as they are; symbols are the
  // public names the dictionary lists for it.
  LibraryBuilder& AddModule(const Bytes& records, const std::vector<std::string>& symbols = {});
  // A module of THEADR, the import definitions and MODEND.
  LibraryBuilder& AddImportModule(const std::vector<Import>& imports);
  // One such module per import.
  LibraryBuilder& AddImports(const std::vector<Import>& imports);

  LibraryBuilder& WithDictionary(bool on = true);
  LibraryBuilder& WithLibraryEnd(bool on = true);

  Bytes Build() const;
  void WriteTo(const std::string& path) const;

 private:
  struct Module {
    Bytes records;
    std::vector<std::string> symbols;
  };
  std::uint32_t pageSize_;
  std::vector<Module> modules_;
  bool dictionary_ = false;
  bool libraryEnd_ = true;
};

// Where a name's dictionary lookup starts and how it steps, for a
// dictionary of the given number of blocks (name: 1 to 255 bytes).
struct LookupHash {
  std::uint16_t blockStart, blockStep, bucketStart, bucketStep;
};
LookupHash HashOf(const std::string& name, std::size_t blocks);

// The dictionary blocks for the given (name, module page) pairs, hashed
// the way OMF librarians place them.
Bytes BuildDictionary(const std::vector<std::pair<std::string, std::uint16_t>>& symbols);

}  // namespace omf

namespace omf {

// Looks a name up in an OMF library's dictionary, the way linkers do, and
// answers the page of its module. Going on from a full block, some
// linkers start again from the name's first bucket (restartBucket), others
// keep the bucket they stopped at.
std::optional<std::uint16_t> LookUp(const Bytes& library, const std::string& name,
                                    bool restartBucket);

// The page size a library's header gives (16 when it gives none).
std::uint32_t PageSizeOf(const Bytes& library);

}  // namespace omf
