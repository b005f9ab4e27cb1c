// Changes a person makes to an entry by hand, shared by the window and the
// command line so that both keep an entry's binding sane.
//
// The convention and the argument length decide the symbol a client links
// against, not what the DLL exports: changing either drops the exact client
// symbol the entry carried (a C++ name's excepted, which holds neither) and
// keeps how the loader finds the function (export name, ordinal, DLL,
// kind).
//
// A rename keeps where the function comes from: its DLL, its kind, and an
// import by ordinal its ordinal. An import by name asks the DLL for the
// new plain name. Renaming back to the name the file gave (`read`, the
// entry as it was read) brings back what the file said the loader looks
// up, so that a name typed and put back costs nothing.
//
// Each answers whether the entry changed; setting what the entry already
// holds changes nothing, except that setting the convention always settles
// a guessed one (Unsure).
#pragma once

#include <string_view>

#include "model/fonction_lib.h"

bool SetConvention(TFonctionLib& entry, bool isPascal);

// A name (plain name, client symbol, export name, DLL, forwarder) that
// holds a control character (a tab or line break pasted with copied rows,
// any byte below a blank, DEL) splits a .def line into two and puts bytes
// no linker matches into a library: no file may hold one. The position
// of the first such character, or npos.
std::string_view::size_type ControlCharacterAt(std::string_view text);
// The first of the entry's names that holds one, or null.
const AnsiString* NameWithControlCharacter(const TFonctionLib& entry);
bool SetArgLength(TFonctionLib& entry, std::int32_t argLength);
bool Rename(TFonctionLib& entry, const AnsiString& name, const TFonctionLib* read = nullptr);
