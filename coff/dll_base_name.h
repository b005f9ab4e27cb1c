// The DLL a library imports from is named after the library's own file.
#pragma once

#include <string>

namespace coff {

// The file-name part of a path without its last extension, as _splitpath
// cuts it ("/x/my.api.lib" gives "my.api", "/x/.lib" the empty name), in
// Windows-1252 (paths are UTF-8). Both slash and backslash end a folder,
// and a leading drive ("C:") is no part of the name.
std::string DllBaseNameOf(const std::string& path);

}  // namespace coff
