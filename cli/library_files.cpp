#include "cli/library_files.h"

#include <cctype>
#include <cstdio>
#include <functional>
#include <string_view>

#include "readers/symbol_list.h"

namespace cli {

namespace {

constexpr std::string_view kDefExtension = ".def";

enum class LibraryKind { Coff, Other, Unopenable };

// IsCoffArchive reports a file it cannot open itself and answers false;
// the reader that would follow would only report it a second time.
LibraryKind KindOf(TFichierLib& lib, const std::string& fileName, const CoreMessages& messages) {
  const std::size_t before = messages.Count();
  if (lib.IsCoffArchive(fileName)) return LibraryKind::Coff;
  return messages.Count() == before ? LibraryKind::Other : LibraryKind::Unopenable;
}

// Runs a reader or writer; an error it raises (the range error of a
// damaged COFF library) is reported with the file's name and counts as a
// failure.
bool Guarded(const std::string& fileName, const std::function<bool()>& operation) {
  try {
    return operation();
  } catch (const Exception& error) {
    std::fprintf(stderr, "libmorph-cli: %s: %s\n", fileName.c_str(), error.what());
    return false;
  }
}

}  // namespace

bool HasDefExtension(const std::string& fileName) {
  if (fileName.size() < kDefExtension.size()) return false;
  const std::string_view tail = std::string_view(fileName).substr(fileName.size() - kDefExtension.size());
  for (std::size_t i = 0; i < tail.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(tail[i])) != kDefExtension[i]) return false;
  return true;
}

bool ReadListFile(TFichierLib& lib, const std::string& fileName, bool asDef,
                  const CoreMessages& messages) {
  if (asDef || HasDefExtension(fileName)) return lib.ReadDefFile(fileName);
  switch (KindOf(lib, fileName, messages)) {
    case LibraryKind::Coff:
      return Guarded(fileName, [&] { return lib.ReadCoffLibrary(fileName); });
    case LibraryKind::Other:
      return Guarded(fileName, [&] { return lib.ReadOmfLibrary(fileName); });
    case LibraryKind::Unopenable:
      break;
  }
  return false;
}

bool ReadConventionsFile(TFichierLib& lib, const std::string& fileName,
                         const CoreMessages& messages) {
  switch (KindOf(lib, fileName, messages)) {
    case LibraryKind::Coff:
      return Guarded(fileName, [&] { return lib.ReadCoffLibrary(fileName); });
    case LibraryKind::Other:
      return ReadSymbolList(lib, fileName);
    case LibraryKind::Unopenable:
      break;
  }
  return false;
}

bool WriteListFile(TFichierLib& lib, const std::string& fileName) {
  return Guarded(fileName, [&] {
    return HasDefExtension(fileName) ? lib.WriteDefFile(fileName) : lib.WriteCoffLibrary(fileName);
  });
}

}  // namespace cli
