#include "cli/library_files.h"

#include <cctype>
#include <cstdio>
#include <functional>
#include <string_view>

#include "cli/warnings.h"
#include "def/def.h"
#include "files/file_kind.h"

namespace cli {

namespace {

constexpr std::string_view kDefExtension = ".def";

// Runs a reader or writer and says why it did not complete. Anything short
// of the whole file counts as a failure: a list cut short would write a
// library that lacks imports without anyone noticing.
bool Guarded(const std::string& fileName, const std::function<Outcome()>& operation) {
  const Outcome outcome = operation();
  if (outcome) return true;
  ReportFileError(fileName, Describe(outcome));
  return false;
}

}  // namespace

bool HasDefExtension(const std::string& fileName) {
  if (fileName.size() < kDefExtension.size()) return false;
  const std::string_view tail = std::string_view(fileName).substr(fileName.size() - kDefExtension.size());
  for (std::size_t i = 0; i < tail.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(tail[i])) != kDefExtension[i]) return false;
  return true;
}

void ReportFileError(const std::string& fileName, const std::string& reason) {
  Print("libmorph-cli: %s: %s\n", fileName.c_str(), reason.c_str());
}

bool ReadListFile(TFichierLib& lib, const std::string& fileName, bool asDef, Machine defMachine) {
  if (asDef) return Guarded(fileName, [&] { return lib.ReadDefFile(fileName, defMachine); });
  const bool read = Guarded(fileName, [&] {
    FileKind kind = FileKind::Unknown;
    return ReadByContent(lib, fileName, kind, ReadOptions{.DefMachine = defMachine});
  });
  if (read) WarnLeftOut(fileName, lib.LeftOutObjects);
  return read;
}

bool ReadConventionsFile(TFichierLib& lib, const std::string& fileName) {
  FileKind kind = FileKind::Unknown;
  if (!Guarded(fileName, [&] { return DetectFileKind(fileName, kind); })) return false;
  switch (kind) {
    case FileKind::CoffArchive:
      return Guarded(fileName, [&] { return lib.ReadCoffLibrary(fileName); });
    // Binary files that are surely no list of symbols: read as text they
    // would give names made of their bytes.
    case FileKind::OmfLibrary:
    case FileKind::OmfObject:
    case FileKind::PeImage:
      ReportFileError(fileName, std::string(DescribeFileKind(kind)) +
                                    ", not a COFF library nor a list of symbols");
      return false;
    default:
      return Guarded(fileName, [&] { return def::ReadSymbolList(fileName, lib); });
  }
}

bool WriteListFile(TFichierLib& lib, const std::string& fileName, OutputForm form) {
  return Guarded(fileName, [&] {
    switch (form) {
      case OutputForm::Omf: return lib.WriteBorlandLibrary(fileName);
      case OutputForm::Def: return lib.WriteDefFile(fileName);
      case OutputForm::Gnu: return lib.WriteGnuLibrary(fileName);
      case OutputForm::Coff: break;
    }
    return lib.WriteCoffLibrary(fileName);
  });
}

bool WriteCoffAsPeers(TFichierLib& lib, const std::string& fileName) {
  return Guarded(fileName, [&] { return lib.WriteCoffLibraryAsPeers(fileName); });
}

bool WriteHybridDefFiles(TFichierLib& lib, const std::string& fileName, const std::string& nativeFile) {
  return Guarded(fileName, [&] { return lib.WriteDefFiles(fileName, nativeFile); });
}

}  // namespace cli
