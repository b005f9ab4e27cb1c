#include "coff/builder_support.h"

namespace coff {

DllNames DllNamesOf(std::string_view file) {
  DllNames names{std::string(file), std::string(file)};
  const std::size_t dot = names.base.rfind('.');
  if (dot != std::string::npos) names.base.erase(dot);
  return names;
}

std::string ImportDescriptorSymbol(const DllNames& dll) {
  return std::string(kImportDescriptorPrefix) + dll.base;
}

std::string NullThunkSymbol(const DllNames& dll) {
  return kNullThunkLead + dll.base + std::string(kNullThunkSuffix);
}

std::string ImportSymbol(std::string_view symbol) {
  return std::string(kImportPrefix) + std::string(symbol);
}

}  // namespace coff
