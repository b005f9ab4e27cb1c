#include "tests/support/test_files.h"

#include <stdlib.h>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <random>
#include <sstream>
#include <stdexcept>


#include "model/decorated_names.h"
#include "model/dll_names.h"
#include "model/microsoft_symbol.h"
namespace fs = std::filesystem;

TempDir::TempDir() {
#ifdef _WIN32
  // The window's tests built for Windows: a fresh folder of a random
  // name, as mkdtemp would make it (windows.h would clash with the
  // core's own Windows names).
  std::random_device random;
  for (unsigned attempt = 0;; ++attempt) {
    const fs::path path = fs::temp_directory_path() /
        ("libmorph-test-" + std::to_string(random()) + "-" + std::to_string(random()));
    if (fs::create_directory(path)) {
      path_ = path.string();
      return;
    }
    if (attempt == 100) throw std::runtime_error("cannot make a temporary folder");
  }
#else
  std::string pattern = (fs::temp_directory_path() / "libmorph-test-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
#endif
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::vector<std::string> TempDir::Entries() const {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(path_)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

void WriteFileBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

void WriteFileText(const std::string& path, const std::string& text) {
  WriteFileBytes(path, ToBytes(text));
}

Bytes ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReadFileText(const std::string& path) {
  Bytes b = ReadFileBytes(path);
  return std::string(b.begin(), b.end());
}

bool FileExists(const std::string& path) { return fs::exists(path); }

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

TFonctionLib BoundTo(const std::string& symbol, const std::string& exportName, ImportKind kind,
                   const std::string& dll) {
  TFonctionLib e = symbol[0] == '?' ? Entry(symbol, 0, false) : FromMicrosoftName(symbol);
  if (MicrosoftName(e) != symbol) e.Import.Symbol = symbol;
  e.Import.ExportName = exportName;
  e.Import.Kind = kind;
  e.Import.Dll = dll;
  return e;
}

TFonctionLib Imported(TFonctionLib entry, const std::string& dll, const std::string& exportName,
                      ImportKind kind) {
  ImportBinding& i = entry.Import;
  i.Dll = dll;
  i.Kind = kind;
  const bool ordinal = exportName.size() > 1 && exportName[0] == '@' &&
                       exportName.find_first_not_of("0123456789", 1) == std::string::npos;
  if (ordinal) {
    i.ByOrdinal = true;
    i.Ordinal = static_cast<std::uint16_t>(std::stoul(exportName.substr(1)));
  } else {
    i.ExportName = exportName;
  }
  return entry;
}

std::vector<TFonctionLib> From(const std::string& dll, std::vector<TFonctionLib> entries) {
  for (TFonctionLib& e : entries)
    if (e.Import.Dll.empty()) e.Import.Dll = dll;
  return entries;
}

TFonctionLib Entry(const std::string& name, std::int32_t argLength, bool isPascal) {
  TFonctionLib e;
  e.Name = name;
  e.ArgLength = argLength;
  e.IsPascal = isPascal;
  return e;
}

std::vector<TFonctionLib> ListOf(TFichierLib& lib) {
  std::vector<TFonctionLib> out;
  for (std::uint32_t i = 0; i < lib.Fonctions.Count; ++i) out.push_back(lib.Fonctions.Item(i));
  return out;
}

void SetList(TFichierLib& lib, const std::vector<TFonctionLib>& entries) {
  lib.Fonctions.Clear();
  for (std::uint32_t i = 0; i < entries.size(); ++i) lib.Fonctions.Item(i) = entries[i];
}

// Knowing no machine, an entry with no export name is looked up as on
// 32-bit Intel (LookupName).
bool operator==(const TFonctionLib& a, const TFonctionLib& b) {
  const ImportBinding& x = a.Import;
  const ImportBinding& y = b.Import;
  return a.Name == b.Name && a.ArgLength == b.ArgLength && a.IsPascal == b.IsPascal &&
         DllNameKey(x.Dll) == DllNameKey(y.Dll) && x.ByOrdinal == y.ByOrdinal &&
         (x.ByOrdinal ? x.Ordinal == y.Ordinal : LookupName(a) == LookupName(b)) &&
         x.Kind == y.Kind;
}

void PrintTo(const TFonctionLib& entry, std::ostream* os) {
  static const char* const kinds[] = {"code", "data", "const"};
  const ImportBinding& i = entry.Import;
  *os << "{\"" << entry.Name << "\", " << entry.ArgLength << ", "
      << (entry.IsPascal ? "_pascal" : "_stdcall") << ", \"" << i.Dll << "\" ";
  if (i.ByOrdinal) *os << "@" << i.Ordinal;
  else *os << "\"" << LookupName(entry) << "\"";
  *os << " " << kinds[static_cast<int>(i.Kind)] << "}";
}

int RunCommand(const std::string& command, std::string* output) {
  std::string full = command + " 2>&1";
  FILE* pipe = ::popen(full.c_str(), "r");
  if (!pipe) return -1;
  std::string text;
  char chunk[4096];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) text.append(chunk, n);
  int status = ::pclose(pipe);
  if (output) *output = text;
#ifdef _WIN32
  return status;
#else
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

bool HaveProgram(const std::string& name) {
  return RunCommand("command -v " + name + " >/dev/null") == 0;
}
