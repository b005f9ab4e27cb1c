#include <cstring>

#include "model/fichier_lib.h"

HANDLE TFichierLib::OpenLibraryFile(const std::string& fileName, bool forReading) {
  const DWORD access = forReading ? GENERIC_READ : (GENERIC_READ | GENERIC_WRITE);
  const DWORD disposition = forReading ? OPEN_EXISTING : CREATE_ALWAYS;
  HANDLE file = CreateFileA(fileName, access, 0, nullptr, disposition, FILE_ATTRIBUTE_ARCHIVE,
                            nullptr);
  return file;
}

bool TFichierLib::IsCoffArchive(const std::string& fileName) {
  HANDLE file = OpenLibraryFile(fileName, true);
  if (file == INVALID_HANDLE_VALUE) return false;
  char head[kArchiveSignatureSize] = {};
  DWORD read = 0;
  ReadFile(file, head, sizeof head, &read, nullptr);
  CloseHandle(file);
  return read == kArchiveSignatureSize && std::memcmp(head, kArchiveSignature, read) == 0;
}
