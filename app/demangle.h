// C++ names as people read them. The one door to the demanglers, so that
// each system can put its own behind it: on Linux LLVM's Demangle library
// reads both Microsoft (`?addDSP@Channel@FMOD@@...`) and Itanium (`_ZN...`)
// names; a Windows build would ask dbghelp's UnDecorateSymbolName for the
// first and the C++ runtime's abi::__cxa_demangle for the second.
#pragma once

#include <string>
#include <string_view>

// True for a symbol in one of the two C++ manglings (a 32-bit Itanium name
// may carry the leading "_" of the C symbol: "__ZN...").
bool LooksMangled(std::string_view symbol);

// The declaration a C++ symbol stands for ("public: void __thiscall
// FMOD::Channel::addDSP(class FMOD::DSP *)"); empty when the symbol is no
// C++ name or cannot be read.
std::string Demangle(std::string_view symbol);
