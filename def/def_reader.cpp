#include "model/fichier_lib.h"

namespace {

constexpr char kExportsKeyword[] = "EXPORTS";

// The name an export line gives: the text before the first "=", trimmed;
// without "=", its first word (up to the first byte of value 32 or less),
// so "Foo @1 NONAME" gives Foo.
AnsiString EntryName(const AnsiString& line) {
  auto equals = line.find('=');
  if (equals != AnsiString::npos) return Trim(std::string_view(line).substr(0, equals));
  std::size_t end = 0;
  while (end < line.size() && static_cast<unsigned char>(line[end]) > 32) ++end;
  return line.substr(0, end);
}

}  // namespace

bool ReadLine(HANDLE file, AnsiString& line) {
  line.clear();
  for (;;) {
    char byte = 0;
    DWORD read = 0;
    ReadFile(file, &byte, 1, &read, nullptr);
    if (read == 0) return !line.empty();
    if (byte == '\n') return true;
    if (byte == '\r') continue;
    line.push_back(byte);
  }
}

Outcome TFichierLib::ReadDefFile(const std::string& fileName) {
  HANDLE file = OpenLibraryFile(fileName, true);
  if (file == INVALID_HANDLE_VALUE) return Outcome::CannotOpen(static_cast<int>(GetLastError()));
  Fonctions.Clear();
  bool inSection = false;
  std::uint32_t index = 0;
  AnsiString raw;
  while (ReadLine(file, raw)) {
    AnsiString line = Trim(raw);
    if (line == kExportsKeyword) {
      inSection = true;
      continue;
    }
    if (line.empty() || !inSection) continue;
    TFonctionLib& entry = Fonctions.Item(index);
    entry.Name = EntryName(line);
    entry.ArgLength = 0;
    entry.IsPascal = true;
    ++index;
  }
  CloseHandle(file);
  return Outcome::Done();
}
