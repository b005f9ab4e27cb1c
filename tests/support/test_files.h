// Small helpers for tests that work with real files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "files/fichier_lib.h"
#include "platform/message_box.h"

using Bytes = std::vector<std::uint8_t>;

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return path_; }
  // Joined as the system writes paths: what the window shows of it.
#ifdef _WIN32
  std::string File(const std::string& name) const { return path_ + "\\" + name; }
#else
  std::string File(const std::string& name) const { return path_ + "/" + name; }
#endif
  // Names of the entries in the folder, sorted.
  std::vector<std::string> Entries() const;

 private:
  std::string path_;
};

void WriteFileBytes(const std::string& path, const Bytes& bytes);
void WriteFileText(const std::string& path, const std::string& text);
Bytes ReadFileBytes(const std::string& path);
std::string ReadFileText(const std::string& path);
bool FileExists(const std::string& path);

Bytes ToBytes(const std::string& text);

// Builds an entry in one expression.
TFonctionLib Entry(const std::string& name, std::int32_t argLength, bool isPascal);

// An entry bound as a reader finds it: client symbol S (kept whole when the
// two conventions' forms cannot give it back), the export it imports, its
// kind, the DLL it comes from.
TFonctionLib BoundTo(const std::string& symbol, const std::string& exportName,
                   ImportKind kind = ImportKind::Code, const std::string& dll = "");

// The entry imported from dll as a reader finds it: by exportName, by
// ordinal N when exportName is "@N" (as the recorded bindings write it),
// or by its own name when exportName is empty.
TFonctionLib Imported(TFonctionLib entry, const std::string& dll, const std::string& exportName = "",
                      ImportKind kind = ImportKind::Code);
// The entries as a library for dll gives them back: those naming no DLL
// of their own import from dll.
std::vector<TFonctionLib> From(const std::string& dll, std::vector<TFonctionLib> entries);

// The list of a TFichierLib as plain values, for comparisons.
std::vector<TFonctionLib> ListOf(TFichierLib& lib);
void SetList(TFichierLib& lib, const std::vector<TFonctionLib>& entries);

// Equal when a client imports both alike: name, convention, DLL (as
// Windows compares file names), what the loader looks up, and kind.
bool operator==(const TFonctionLib& a, const TFonctionLib& b);
void PrintTo(const TFonctionLib& entry, std::ostream* os);

// Runs a shell command; answers its exit status and fills output with what
// it printed (stdout and stderr).
int RunCommand(const std::string& command, std::string* output = nullptr);
// True when the program is on PATH.
bool HaveProgram(const std::string& name);
