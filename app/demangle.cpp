// Demangle on Linux: LLVM's Demangle library, linked statically.
#include "app/demangle.h"

#include <llvm/Demangle/Demangle.h>

#include <cstdlib>

bool LooksMangled(std::string_view symbol) {
  return symbol.starts_with('?') || symbol.starts_with("_Z") || symbol.starts_with("__Z");
}

std::string Demangle(std::string_view symbol) {
  if (!LooksMangled(symbol)) return {};
  const std::string mangled(symbol);
  int status = 0;
  char* text = nullptr;
  if (mangled.front() == '?') {
    text = llvm::microsoftDemangle(mangled.c_str(), nullptr, nullptr, nullptr, &status);
  } else {
    const char* itanium = mangled.c_str() + (mangled.starts_with("__Z") ? 1 : 0);
    text = llvm::itaniumDemangle(itanium, nullptr, nullptr, &status);
  }
  std::string result = status == llvm::demangle_success && text ? std::string(text) : std::string();
  std::free(text);
  return result;
}
