#include "model/dll_names.h"

#include "platform/codepage.h"

std::string DllBaseNameOf(const std::string& path) {
  std::size_t start = path.find_last_of("/\\");
  if (start != std::string::npos) ++start;
  else if (path.size() >= 2 && path[1] == ':') start = 2;
  else start = 0;
  std::string file = path.substr(start);
  const std::size_t dot = file.rfind('.');
  if (dot != std::string::npos) file.erase(dot);
  return Utf8ToAnsi(file);
}

std::string DefaultDllName(const std::string& path) { return DllBaseNameOf(path) + ".dll"; }
