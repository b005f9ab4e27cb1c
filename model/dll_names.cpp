#include "model/dll_names.h"

#include <cctype>
#include <string_view>

#include "platform/codepage.h"

namespace {

std::string FileNameOf(const std::string& path) {
  std::size_t start = path.find_last_of("/\\");
  if (start != std::string::npos) ++start;
  else if (path.size() >= 2 && path[1] == ':') start = 2;
  else start = 0;
  return path.substr(start);
}

bool EndsWithFolded(std::string_view name, std::string_view tail) {
  if (name.size() < tail.size()) return false;
  name.remove_prefix(name.size() - tail.size());
  for (std::size_t i = 0; i < tail.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(name[i])) != tail[i]) return false;
  return true;
}

// "libX.dll.a" and "libX.a" without their GNU dress; false for other names.
bool StripGnuName(std::string& file, bool dllOnly) {
  std::size_t tail = 0;
  if (EndsWithFolded(file, ".dll.a")) tail = 6;
  else if (!dllOnly && EndsWithFolded(file, ".a")) tail = 2;
  else return false;
  file.erase(file.size() - tail);
  if (file.size() > 3 && file.compare(0, 3, "lib") == 0) file.erase(0, 3);
  return true;
}

}  // namespace

std::string DllBaseNameOf(const std::string& path) {
  std::string file = FileNameOf(path);
  if (!StripGnuName(file, true)) {
    const std::size_t dot = file.rfind('.');
    if (dot != std::string::npos) file.erase(dot);
  }
  return Utf8ToAnsi(file);
}

std::string LibraryStemOf(const std::string& path) {
  std::string file = FileNameOf(path);
  if (StripGnuName(file, false)) return file;
  const std::size_t dot = file.rfind('.');
  if (dot != std::string::npos && dot > 0) file.erase(dot);
  return file;
}

std::string DefaultDllName(const std::string& path) { return DllBaseNameOf(path) + ".dll"; }

std::string LoaderDllName(std::string_view name) {
  std::string file(name);
  const std::size_t start = file.find_last_of("/\\") + 1;  // 0 with no folder
  if (file.find('.', start) == std::string::npos) return file + ".dll";
  while (file.size() > start && file.back() == '.') file.pop_back();
  return file;
}

std::string DllNameKey(std::string_view name) {
  std::string key(name);
  for (char& c : key)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return key;
}
