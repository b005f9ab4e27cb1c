#include "files/fichier_lib.h"

#include "coff/coff.h"
#include "def/def.h"
#include "model/hybrid_views.h"
#include "files/file_kind.h"
#include "model/file_bytes.h"
#include "omf/omf.h"
#include "pe/pe.h"

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

Outcome TFichierLib::WriteCoffLibrary(const std::string& fileName) {
  return coff::WriteLibrary(fileName, *this);
}

Outcome TFichierLib::WriteCoffLibraryAsPeers(const std::string& fileName) {
  return coff::WriteLibrary(fileName, *this, coff::CoffLayout::Peer);
}

Outcome TFichierLib::WriteGnuLibrary(const std::string& fileName) {
  return coff::WriteGnuLibrary(fileName, *this);
}

Outcome TFichierLib::WriteDefFile(const std::string& fileName) { return WriteDefFiles(fileName, {}); }

Outcome TFichierLib::WriteDefFiles(const std::string& fileName, const std::string& nativeFile) {
  if (SourceMachine != Machine::Arm64x) return def::WriteFile(fileName, *this);
  ExportList view;
  CopyView(*this, HybridView::Arm64ec, view);
  if (Outcome written = def::WriteFile(fileName, view); !written || nativeFile.empty()) return written;
  CopyView(*this, HybridView::Arm64, view);
  return def::WriteFile(nativeFile, view);
}

Outcome TFichierLib::WriteBorlandLibrary(const std::string& fileName) {
  return omf::WriteLibrary(fileName, *this);
}
