#include "cli/library_files.h"

#include <cctype>
#include <cstdio>
#include <functional>
#include <string_view>

#include "model/symbol_list.h"

namespace cli {

namespace {

constexpr std::string_view kDefExtension = ".def";

// Says why an operation on fileName did not complete, as
// "libmorph-cli: FILE: reason".
bool Report(const std::string& fileName, const Outcome& outcome) {
  if (outcome) return true;
  std::fprintf(stderr, "libmorph-cli: %s: %s\n", fileName.c_str(), Describe(outcome).c_str());
  return false;
}

// Runs a reader or writer; an error it raises (the range error of a
// damaged COFF library) is reported with the file's name and counts as a
// failure.
bool Guarded(const std::string& fileName, const std::function<Outcome()>& operation) {
  try {
    return Report(fileName, operation());
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
                  const CoreMessages&) {
  if (asDef || HasDefExtension(fileName))
    return Guarded(fileName, [&] { return lib.ReadDefFile(fileName); });
  if (lib.IsCoffArchive(fileName))
    return Guarded(fileName, [&] { return lib.ReadCoffLibrary(fileName); });
  return Guarded(fileName, [&] { return lib.ReadOmfLibrary(fileName); });
}

bool ReadConventionsFile(TFichierLib& lib, const std::string& fileName, const CoreMessages&) {
  if (lib.IsCoffArchive(fileName))
    return Guarded(fileName, [&] { return lib.ReadCoffLibrary(fileName); });
  return Guarded(fileName, [&] { return ReadSymbolList(lib, fileName); });
}

bool WriteListFile(TFichierLib& lib, const std::string& fileName) {
  return Guarded(fileName, [&] {
    return HasDefExtension(fileName) ? lib.WriteDefFile(fileName) : lib.WriteCoffLibrary(fileName);
  });
}

}  // namespace cli
