// Small DLLs made in memory, for tests of what reads them: a code section,
// and a data section with the export directory and, when asked, a load
// configuration.
#pragma once

#include <string>
#include <vector>

#include "model/machine.h"
#include "tests/support/test_files.h"

struct PeExport {
  std::string name;  // empty: exported by ordinal only
  Bytes code;        // copied at the function's address (32 bytes apart)
  bool data = false; // points into the data section
};

struct PeShape {
  Machine machine = Machine::I386;  // x64 and ARM64 images are PE32+
  // The code section is the packer's: named "UPX0", with no byte in the file.
  bool packed = false;
  // A load configuration that points to hybrid metadata (PE32+ only).
  bool hybridMetadata = false;
  // With hybridMetadata: a second export directory, for ARM64EC clients,
  // which ARM64X dynamic relocations put in place of the first.
  std::vector<PeExport> ecExports;
};

// Where the ARM64X relocations of an image with ecExports lie in the file:
// the table's header (version, size), then one group of version 1
// (symbol, size of its fixups), then one block (page 0, its size) of two
// records that each write 4 bytes, the export directory's address and
// size in the optional header.
inline constexpr std::size_t kDynamicRelocTableAt = 0x200 + 0x1000 + 0x600;
inline constexpr std::size_t kArm64xGroupAt = kDynamicRelocTableAt + 8;
inline constexpr std::size_t kArm64xBlockAt = kArm64xGroupAt + 12;

Bytes BuildPe(const std::vector<PeExport>& exports, const PeShape& shape = {});
