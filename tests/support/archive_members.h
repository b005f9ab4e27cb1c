// Splits an archive file into its members, for tests that look at the
// bytes a writer produced.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/test_files.h"

struct ArchiveMember {
  std::size_t headerAt = 0;  // file offset of the 60-byte header
  std::string header;        // the header's 60 characters
  std::string name;          // the name field, trailing spaces removed
  std::size_t size = 0;      // the size field
  Bytes data;
  bool padded = false;       // a 0x0A pad byte follows the data
};

// Members in file order. Throws std::runtime_error on a file that does not
// split cleanly (bad signature, size field or header end, or bytes left).
std::vector<ArchiveMember> SplitArchive(const Bytes& file);

std::uint32_t Le32(const Bytes& b, std::size_t at);
std::uint16_t Le16(const Bytes& b, std::size_t at);
std::uint32_t Be32(const Bytes& b, std::size_t at);

// The zero-terminated names from offset at to the end of b.
std::vector<std::string> NamesFrom(const Bytes& b, std::size_t at);
