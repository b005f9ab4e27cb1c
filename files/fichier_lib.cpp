#include "files/fichier_lib.h"

#include <cerrno>
#include <functional>
#include <new>
#include <vector>

#include "coff/coff.h"
#include "def/def.h"
#include "model/hybrid_views.h"
#include "files/file_kind.h"
#include "model/file_bytes.h"
#include "omf/omf.h"
#include "pe/pe.h"
#include "files/write_proof.h"

std::string TFichierLib::WrongMachine(ListForm form) const { return ::WrongMachine(*this, form); }

HANDLE TFichierLib::OpenLibraryFile(const std::string& fileName, bool forReading) {
  return ::OpenLibraryFile(fileName, forReading);
}

bool TFichierLib::IsCoffArchive(const std::string& fileName) { return coff::StartsAsArchive(fileName); }

Outcome TFichierLib::ReadCoffLibrary(const std::string& fileName) {
  return coff::ReadLibrary(fileName, *this);
}

Outcome TFichierLib::ReadOmfLibrary(const std::string& fileName) {
  Outcome outcome = omf::ReadLibrary(fileName, *this);
  if (outcome.Kind == OutcomeKind::NotImportLibrary && outcome.Detail.empty()) {
    // Not an OMF library: say what it is instead.
    FileKind kind = FileKind::Unknown;
    DetectFileKind(fileName, kind);
    outcome.Detail = DescribeFileKind(kind);
  }
  return outcome;
}

Outcome TFichierLib::ReadDefFile(const std::string& fileName) {
  return def::ReadFile(fileName, *this);
}

Outcome TFichierLib::ReadDefFile(const std::string& fileName, Machine machine) {
  return def::ReadFile(fileName, *this, machine);
}

Outcome TFichierLib::ReadDllFile(const std::string& fileName) { return pe::ReadDll(fileName, *this); }

namespace {

// Every write: the names checked, the bytes built, proven, and only then
// put in place of the file.
Outcome BuildProveSave(const std::string& fileName, ExportList& list, ListForm form,
                       const std::function<Outcome(std::vector<std::uint8_t>&)>& build,
                       std::vector<std::uint8_t>& bytes) {
  if (Outcome names = CheckNamesForWrite(list); !names) return names;
  if (Outcome built = build(bytes); !built) return built;
  return ProveWrite(list, form, fileName, bytes);
}

Outcome Write(const std::string& fileName, ExportList& list, ListForm form,
              const std::function<Outcome(std::vector<std::uint8_t>&)>& build) {
  std::vector<std::uint8_t> bytes;
  try {
    if (Outcome proven = BuildProveSave(fileName, list, form, build, bytes); !proven) return proven;
  } catch (const std::bad_alloc&) {
    // A list too large for memory: nothing was written.
    return Outcome::CannotWrite(ENOMEM);
  }
  return SaveFileBytes(fileName, bytes);
}

}  // namespace

Outcome TFichierLib::WriteCoffLibrary(const std::string& fileName) {
  return Write(fileName, *this, ListForm::Coff, [&](std::vector<std::uint8_t>& out) {
    return coff::BuildLibrary(fileName, *this, coff::CoffLayout::Own, out);
  });
}

Outcome TFichierLib::WriteCoffLibraryAsPeers(const std::string& fileName) {
  return Write(fileName, *this, ListForm::Coff, [&](std::vector<std::uint8_t>& out) {
    return coff::BuildLibrary(fileName, *this, coff::CoffLayout::Peer, out);
  });
}

Outcome TFichierLib::WriteGnuLibrary(const std::string& fileName) {
  return Write(fileName, *this, ListForm::Gnu,
               [&](std::vector<std::uint8_t>& out) { return coff::BuildGnuLibrary(fileName, *this, out); });
}

Outcome TFichierLib::WriteDefFile(const std::string& fileName) { return WriteDefFiles(fileName, {}); }

Outcome TFichierLib::WriteDefFiles(const std::string& fileName, const std::string& nativeFile) {
  const auto defOf = [](const std::string& file, ExportList& list) {
    return [&file, &list](std::vector<std::uint8_t>& out) { return def::BuildFile(file, list, out); };
  };
  if (SourceMachine != Machine::Arm64x) return Write(fileName, *this, ListForm::Def, defOf(fileName, *this));
  // Both views proven before either file is put in place.
  ExportList ec, native;
  std::vector<std::uint8_t> ecBytes, nativeBytes;
  try {
    CopyView(*this, HybridView::Arm64ec, ec);
    if (Outcome proven = BuildProveSave(fileName, ec, ListForm::Def, defOf(fileName, ec), ecBytes); !proven)
      return proven;
    if (!nativeFile.empty()) {
      CopyView(*this, HybridView::Arm64, native);
      if (Outcome proven =
              BuildProveSave(nativeFile, native, ListForm::Def, defOf(nativeFile, native), nativeBytes);
          !proven)
        return proven;
    }
  } catch (const std::bad_alloc&) {
    return Outcome::CannotWrite(ENOMEM);
  }
  if (Outcome saved = SaveFileBytes(fileName, ecBytes); !saved || nativeFile.empty()) return saved;
  return SaveFileBytes(nativeFile, nativeBytes);
}

Outcome TFichierLib::WriteBorlandLibrary(const std::string& fileName) {
  return Write(fileName, *this, ListForm::Omf,
               [&](std::vector<std::uint8_t>& out) { return omf::BuildLibrary(fileName, *this, out); });
}
