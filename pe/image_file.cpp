#include "model/file_bytes.h"
#include "pe/pe_image.h"

namespace pe {

Outcome LoadImage(const std::string& fileName, Image& image) {
  FileBytes bytes;
  if (Outcome read = ReadFileBytes(fileName, bytes); !read) return read;
  return image.Parse(std::move(bytes));
}

}  // namespace pe
