// Demangle on Windows: the system's dbghelp reads Microsoft names, the C++
// runtime's abi::__cxa_demangle Itanium ones (GCC's, linked statically).
#include "app/demangle.h"

#include <windows.h>
#include <dbghelp.h>

#include <cxxabi.h>

#include <cstdlib>
#include <mutex>

bool LooksMangled(std::string_view symbol) {
  return symbol.starts_with('?') || symbol.starts_with("_Z") || symbol.starts_with("__Z");
}

std::string Demangle(std::string_view symbol) {
  if (!LooksMangled(symbol)) return {};
  const std::string mangled(symbol);
  if (mangled.front() == '?') {
    // dbghelp is not thread-safe: one caller at a time.
    static std::mutex dbghelp;
    const std::lock_guard<std::mutex> lock(dbghelp);
    char text[4096];
    const DWORD length = UnDecorateSymbolName(mangled.c_str(), text, sizeof text, UNDNAME_COMPLETE);
    // A name it cannot read comes back unchanged (or empty): that is no answer.
    if (length == 0 || mangled == text) return {};
    return std::string(text, length);
  }
  const char* itanium = mangled.c_str() + (mangled.starts_with("__Z") ? 1 : 0);
  int status = 0;
  char* text = abi::__cxa_demangle(itanium, nullptr, nullptr, &status);
  std::string result = status == 0 && text ? std::string(text) : std::string();
  std::free(text);
  return result;
}
