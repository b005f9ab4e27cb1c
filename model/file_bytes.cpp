#include "model/file_bytes.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "platform/file_api.h"

HANDLE OpenLibraryFile(const std::string& fileName, bool forReading) {
  const DWORD access = forReading ? GENERIC_READ : (GENERIC_READ | GENERIC_WRITE);
  const DWORD disposition = forReading ? OPEN_EXISTING : CREATE_ALWAYS;
  // Readers share with readers, and with a save that renames a new file
  // over this one: they keep reading the old file, whole. A parallel build
  // reads one library from many processes at once.
  const DWORD share = forReading ? (FILE_SHARE_READ | FILE_SHARE_DELETE) : 0;
  return CreateFileA(fileName, access, share, nullptr, disposition, FILE_ATTRIBUTE_ARCHIVE, nullptr);
}

namespace {

constexpr std::size_t kReadBlock = 1 << 20;
constexpr DWORD kLargestRead = 1u << 30;

}  // namespace

Outcome ReadFileBytes(const std::string& fileName, FileBytes& bytes) {
  HANDLE file = OpenLibraryFile(fileName, true);
  if (file == INVALID_HANDLE_VALUE) return Outcome::CannotOpen(static_cast<int>(GetLastError()));
  FileCloser closer(file);
  std::error_code error;
  const std::uintmax_t expected = std::filesystem::file_size(fileName, error);
  // One byte more than expected, so that the read that finds the end
  // needs no growth; no zero-filling first, since every byte is
  // overwritten.
  std::size_t capacity = error ? kReadBlock : static_cast<std::size_t>(expected) + 1;
  bytes.data = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
  bytes.size = 0;
  for (;;) {
    if (bytes.size == capacity) {
      const std::size_t grown = capacity + std::max(capacity, kReadBlock);
      auto larger = std::make_unique_for_overwrite<std::uint8_t[]>(grown);
      std::memcpy(larger.get(), bytes.data.get(), bytes.size);
      bytes.data = std::move(larger);
      capacity = grown;
    }
    DWORD got = 0;
    const auto want = static_cast<DWORD>(std::min<std::size_t>(capacity - bytes.size, kLargestRead));
    if (!ReadFile(file, bytes.data.get() + bytes.size, want, &got, nullptr))
      return Outcome::CannotOpen(static_cast<int>(GetLastError()));
    if (got == 0) return Outcome::Done();
    bytes.size += got;
  }
}

Outcome FileSaver::Opened() const {
  return save_.IsOpen() ? Outcome::Done() : Outcome::CannotOpen(save_.Error());
}

void FileSaver::Write(std::span<const std::uint8_t> bytes) {
  // Writes go through in pieces of 16 KiB, which the 32-bit size field
  // holds and which keep the system's copy of a large save small.
  constexpr std::size_t kPiece = 1u << 14;
  for (std::size_t at = 0; at < bytes.size(); at += kPiece)
    if (!save_.Write(bytes.data() + at, static_cast<std::uint32_t>(std::min(kPiece, bytes.size() - at))))
      return;
}

Outcome FileSaver::Commit() {
  if (!save_.IsOpen()) return Outcome::CannotOpen(save_.Error());
  if (!save_.Commit()) return Outcome::CannotWrite(save_.Error());
  return Outcome::Done();
}

Outcome SaveFileBytes(const std::string& fileName, std::span<const std::uint8_t> bytes) {
  FileSaver file(fileName);
  if (Outcome opened = file.Opened(); !opened) return opened;
  file.Write(bytes);
  return file.Commit();
}
