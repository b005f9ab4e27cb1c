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
};

Bytes BuildPe(const std::vector<PeExport>& exports, const PeShape& shape = {});
