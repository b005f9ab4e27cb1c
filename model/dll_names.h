// The DLL a list imports from when its entries name none: the one named
// after the library's own file, as import libraries always were; and the
// file an import's DLL name leads Windows' loader to.
#pragma once

#include <string>
#include <string_view>

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

// The file Windows' loader looks for when an import names the DLL `name`:
// a name with no '.' in its file-name part gets ".dll" ("KERNEL32" is
// "KERNEL32.dll"), and a trailing '.', which is how a name asks for a file
// with no extension, is dropped ("mylib." is the file "mylib"). Any other
// name is the file itself. Letter case is kept.
std::string LoaderDllName(std::string_view name);

// A key under which two DLL names are equal when Windows takes them for
// the same file: the name with ASCII letters in lower case, as the
// file system compares them.
std::string DllNameKey(std::string_view name);
