#include "coff/ec_names.h"

namespace coff {

std::string EcBodyName(std::string_view name) {
  if (name.empty() || name.starts_with(kEcFunctionLead)) return std::string(name);
  if (name.front() != '?') return std::string(kEcFunctionLead) + std::string(name);
  if (name.find(kEcCppMarker) != std::string_view::npos) return std::string(name);
  // The marker goes after the name and its scopes, which "@@" closes
  // (unless that "@@" opens "@@@": an unscoped name whose "@" is followed
  // by an empty scope list); failing that, after the first "@".
  std::size_t at = name.find("@@");
  if (at != std::string_view::npos && at != name.find("@@@")) {
    at += 2;
  } else {
    at = name.find('@');
    at = at == std::string_view::npos ? name.size() : at + 1;
  }
  std::string body(name.substr(0, at));
  body += kEcCppMarker;
  body += name.substr(at);
  return body;
}

std::string EcCallName(std::string_view name) {
  if (name.starts_with(kEcFunctionLead)) return std::string(name.substr(kEcFunctionLead.size()));
  if (!name.starts_with('?')) return std::string(name);
  const std::size_t marker = name.find(kEcCppMarker);
  if (marker == std::string_view::npos) return std::string(name);
  return std::string(name.substr(0, marker)) + std::string(name.substr(marker + kEcCppMarker.size()));
}

}  // namespace coff
