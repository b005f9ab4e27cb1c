// Reading texts through the file calls, on every system alike.
#include <algorithm>

#include "platform/file_api.h"

std::string ReadZString(HANDLE file) {
  std::string text;
  char c = 0;
  DWORD got = 0;
  while (ReadFile(file, &c, 1, &got, nullptr) && got == 1 && c != '\0') text.push_back(c);
  return text;
}

bool NextLine(std::string_view& rest, std::string& line) {
  line.clear();
  if (rest.empty()) return false;
  const std::size_t end = std::min(rest.find('\n'), rest.size());
  // Carriage returns go, wherever they are; runs between them are copied
  // whole.
  const std::string_view text = rest.substr(0, end);
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t cr = std::min(text.find('\r', at), text.size());
    line.append(text.data() + at, cr - at);
    at = cr + 1;
  }
  const bool ended = end < rest.size();
  rest.remove_prefix(ended ? end + 1 : rest.size());
  // At the end of the text, as at the end of a file, only characters make
  // a line.
  return ended || !line.empty();
}

bool ReadLine(HANDLE file, std::string& line) {
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
