#include "pe/pe_image.h"

#include "platform/file_api.h"
#include "platform/windows_types.h"

namespace pe {

Outcome LoadImage(const std::string& fileName, Image& image) {
  // Opened as every input file is: read access, no sharing.
  HANDLE file = CreateFileA(fileName, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_ARCHIVE,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return Outcome::CannotOpen(static_cast<int>(GetLastError()));
  FileCloser closer(file);
  std::vector<std::uint8_t> bytes;
  constexpr DWORD kChunk = 1 << 20;
  for (;;) {
    const std::size_t old = bytes.size();
    bytes.resize(old + kChunk);
    DWORD got = 0;
    if (!ReadFile(file, bytes.data() + old, kChunk, &got, nullptr))
      return Outcome::CannotOpen(static_cast<int>(GetLastError()));
    bytes.resize(old + got);
    if (got == 0) break;
  }
  return image.Parse(std::move(bytes));
}

}  // namespace pe
