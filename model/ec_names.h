// The names of ARM64EC code. An ARM64EC function is known to the linker by
// two names: the one x64 code calls it by ("Foo", "?Foo@@YAHH@Z") and the
// one of its ARM64EC body ("#Foo", "?Foo@@$$hYAHH@Z"). An ARM64EC import
// library's short import carries the body's name, and the export name
// after the DLL's; the archive's EC symbol table indexes both, and the
// "__imp_aux_" pointer the x64 side calls through.
#pragma once

#include <string>
#include <string_view>

inline constexpr std::string_view kEcFunctionLead = "#";
inline constexpr std::string_view kEcCppMarker = "$$h";
inline constexpr std::string_view kImportAuxPrefix = "__imp_aux_";

// "Foo" gives "#Foo"; a C++ name gets "$$h" after its qualified name
// ("?Foo@@YAHH@Z" gives "?Foo@@$$hYAHH@Z"). A name that already is one
// comes back as it is, and so does one that gives no body name (see
// EcNameFault).
std::string EcBodyName(std::string_view name);
// The reverse: "#Foo" gives "Foo", "?Foo@@$$hYAHH@Z" gives
// "?Foo@@YAHH@Z"; any other name comes back as it is.
std::string EcCallName(std::string_view name);

// Why an ARM64EC function cannot be imported under the name when its
// export is looked up by that name (not by ordinal, nor by a name written
// beside it): a C++ name whose qualified name is cut short ("?func") or
// malformed gives no body name, and a body name with nothing after its
// "$$h" or its '#' gives no x64 name. Empty when it can: LLVM's
// librarians take the same names.
std::string EcNameFault(std::string_view name);
