// The few Windows types and constants the core is written against.
#pragma once

#include <cstdint>

using BOOL = int;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using UINT = unsigned int;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

struct FileObject;
using HANDLE = FileObject*;

// All bits set, as on Windows: the value that stands for "no file".
inline const HANDLE INVALID_HANDLE_VALUE =
    reinterpret_cast<HANDLE>(~static_cast<std::uintptr_t>(0));

constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;

constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD FILE_SHARE_DELETE = 0x4;

constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;

constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;

constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFFu;

constexpr UINT MB_OK = 0x0;
constexpr UINT MB_ICONERROR = 0x10;        // 16
constexpr UINT MB_ICONWARNING = 0x30;      // 48
constexpr UINT MB_ICONINFORMATION = 0x40;  // 64
constexpr int IDOK = 1;
