// The DLL a list imports from when its entries name none: the one named
// after the library's own file, as import libraries always were.
#pragma once

#include <string>

// The file-name part of a path without its last extension, as _splitpath
// cuts it ("/x/my.api.lib" gives "my.api", "/x/.lib" the empty name), in
// Windows-1252 (paths are UTF-8). Both slash and backslash end a folder,
// and a leading drive ("C:") is no part of the name.
std::string DllBaseNameOf(const std::string& path);

// DllBaseNameOf(path) + ".dll".
std::string DefaultDllName(const std::string& path);
