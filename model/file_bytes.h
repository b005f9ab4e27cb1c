// Files read whole and files saved whole: every reader takes the whole
// file into memory, where each offset and count it holds is checked
// against its real size; every writer saves through a temporary file, so
// that a failed save never costs the file that was there.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "model/outcome.h"
#include "platform/safe_save.h"
#include "platform/windows_types.h"

// Opens for reading (existing file, read access, shared with other readers
// and with a save that replaces the file) or for writing (created or
// emptied, read and write access, without sharing). On failure answers
// INVALID_HANDLE_VALUE, with the system's reason in GetLastError().
HANDLE OpenLibraryFile(const std::string& fileName, bool forReading);

struct FileBytes {
  std::unique_ptr<std::uint8_t[]> data;
  std::size_t size = 0;
  std::span<const std::uint8_t> View() const { return {data.get(), size}; }
};

// The whole file, read through one shared open. CannotOpen with the system's
// reason when it cannot be opened or read.
Outcome ReadFileBytes(const std::string& fileName, FileBytes& bytes);

// A save of one file: bytes are written in turn, and Commit puts them in
// place of the old file only when all of them were written.
class FileSaver {
 public:
  explicit FileSaver(const std::string& fileName) : save_(fileName) {}

  // Done when the target could be opened; CannotOpen with the reason
  // otherwise (nothing else then happens).
  Outcome Opened() const;
  // A failure is kept for Commit to report.
  void Write(std::span<const std::uint8_t> bytes);
  // Done, or CannotWrite with the system's reason; the old file stays
  // whole on failure.
  Outcome Commit();

 private:
  SafeSave save_;
};

// The whole save at once.
Outcome SaveFileBytes(const std::string& fileName, std::span<const std::uint8_t> bytes);
