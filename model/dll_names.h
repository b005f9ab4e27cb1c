// The DLL a list imports from when its entries name none: the one named
// after the library's own file, as import libraries always were.
#pragma once

#include <string>

// The file-name part of a path without its last extension, as _splitpath
// cuts it ("/x/my.api.lib" gives "my.api", "/x/.lib" the empty name), in
// Windows-1252 (paths are UTF-8); GNU's "libX.dll.a" gives "X", not
// "libX.dll". Both slash and backslash end a folder,
// and a leading drive ("C:") is no part of the name.
std::string DllBaseNameOf(const std::string& path);

// The name a library file is known by, in UTF-8: its file-name part
// without its extension, and for GNU's names ("libshlwapi.a",
// "libshlwapi.dll.a") without ".a" or ".dll.a" and the "lib" before it:
// "shlwapi".
std::string LibraryStemOf(const std::string& path);

// DllBaseNameOf(path) + ".dll".
std::string DefaultDllName(const std::string& path);
