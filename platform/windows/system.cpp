// The one file of the core that includes <windows.h>.
#include <windows.h>
#include <shellapi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/command_line.h"
#include "platform/system_error.h"
#include "platform/windows/system.h"

namespace platform::windows {

namespace {

std::wstring Wide(const std::string& utf8) {
  const std::u16string text = Utf16(utf8);
  return std::wstring(text.begin(), text.end());
}

std::string FromWide(const wchar_t* text) {
  std::u16string utf16;
  for (; *text; ++text) utf16.push_back(static_cast<char16_t>(*text));
  return Utf8(utf16);
}

// How long a reader or a save waits for another program that holds the
// file in its way: in a parallel build another run of ours lets go in
// moments.
std::chrono::milliseconds patience = std::chrono::seconds(10);

// Calls attempt until it succeeds, fails for another reason than one of
// the two "somebody holds it" codes, or the patience has run out.
template <typename Attempt>
bool Patiently(Attempt&& attempt) {
  const auto giveUp = std::chrono::steady_clock::now() + patience;
  auto pause = std::chrono::milliseconds(1);
  for (;;) {
    if (attempt()) return true;
    const DWORD error = ::GetLastError();
    if ((error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED &&
         error != ERROR_LOCK_VIOLATION) ||
        std::chrono::steady_clock::now() >= giveUp)
      return false;
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::milliseconds(50));
    ::SetLastError(error);
  }
}

}  // namespace

void SetPatience(std::chrono::milliseconds wait) { patience = wait; }

Native Open(const std::string& path, std::uint32_t access, std::uint32_t share,
            std::uint32_t disposition, bool* created) {
  const std::wstring name = Wide(path);
  HANDLE file = INVALID_HANDLE_VALUE;
  auto open = [&] {
    file = ::CreateFileW(name.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
    return file != INVALID_HANDLE_VALUE;
  };
  // A reader that shares waits for a writer that does not; anything else
  // is refused at once, as the caller asked for the file to itself.
  const bool sharedRead = (access & GENERIC_WRITE) == 0 && (share & FILE_SHARE_READ) != 0;
  if (!(sharedRead ? Patiently(open) : open()))
    return nullptr;  // a folder too: "access denied", as Windows says
  if (created) *created = ::GetLastError() != ERROR_ALREADY_EXISTS;
  return file;
}

bool WritableFile(const std::string& path, bool* exists) {
  const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
  *exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (!*exists) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return true;
    return false;
  }
  if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  return true;
}

bool Read(Native file, void* buffer, std::uint32_t size, std::uint32_t* got) {
  DWORD n = 0;
  const BOOL ok = ::ReadFile(file, buffer, size, &n, nullptr);
  *got = n;
  return ok != FALSE;
}

bool WriteAll(Native file, const void* data, std::size_t size) {
  const auto* p = static_cast<const unsigned char*>(data);
  while (size > 0) {
    const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD n = 0;
    if (!::WriteFile(file, p, chunk, &n, nullptr)) return false;
    if (n == 0) {
      ::SetLastError(ERROR_WRITE_FAULT);
      return false;
    }
    p += n;
    size -= n;
  }
  return true;
}

bool SeekTo(Native file, std::int64_t position, std::int64_t* now) {
  LARGE_INTEGER to, at;
  to.QuadPart = position;
  if (!::SetFilePointerEx(file, to, &at, FILE_BEGIN)) return false;
  if (now) *now = at.QuadPart;
  return true;
}

bool SeekBy(Native file, std::int64_t distance) {
  LARGE_INTEGER by;
  by.QuadPart = distance;
  return ::SetFilePointerEx(file, by, nullptr, FILE_CURRENT) != FALSE;
}

bool Close(Native file) { return ::CloseHandle(file) != FALSE; }

bool FlushToDisk(Native file) { return ::FlushFileBuffers(file) != FALSE; }

std::string NewFileBeside(const std::string& target) {
  std::wstring folder = Wide(target);
  const std::size_t cut = folder.find_last_of(L"\\/:");
  if (cut == std::wstring::npos) folder = L".";
  else if (folder[cut] == L':') folder.resize(cut + 1);
  else folder.resize(cut == 0 ? 1 : cut);
  // GetTempFileNameW makes the file, so that no other program takes the
  // same name before it is opened.
  wchar_t name[MAX_PATH + 1];
  if (::GetTempFileNameW(folder.c_str(), L"lmo", 0, name) == 0) return {};
  return FromWide(name);
}

bool ReplaceWith(const std::string& from, const std::string& to) {
  const std::wstring source = Wide(from), target = Wide(to);
  // A reader that has the old file open (sharing deletion, as ours do)
  // keeps it from being replaced until it closes it, moments later.
  return Patiently([&] {
    return ::MoveFileExW(source.c_str(), target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
  });
}

bool Remove(const std::string& path) { return ::DeleteFileW(Wide(path).c_str()) != FALSE; }

std::uint32_t LastError() { return ::GetLastError(); }

std::u16string Cp1252Table() {
  std::u16string table(256, u'\0');
  for (int b = 0; b < 256; ++b) {
    table[static_cast<std::size_t>(b)] = static_cast<char16_t>(b);
    const char in = static_cast<char>(b);
    wchar_t out[2];
    if (::MultiByteToWideChar(1252, MB_ERR_INVALID_CHARS, &in, 1, out, 2) == 1)
      table[static_cast<std::size_t>(b)] = static_cast<char16_t>(out[0]);
  }
  return table;
}

std::u16string Utf16(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int size = static_cast<int>(utf8.size());
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, out.data(), n);
  return std::u16string(out.begin(), out.end());
}

std::string Utf8(std::u16string_view utf16) {
  if (utf16.empty()) return {};
  const std::wstring in(utf16.begin(), utf16.end());
  const int size = static_cast<int>(in.size());
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, in.data(), size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, in.data(), size, out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace platform::windows

namespace platform {

std::string SystemErrorText(int code) {
  wchar_t* text = nullptr;
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message;
  if (n > 0 && text != nullptr) message = windows::FromWide(text);
  if (text != nullptr) ::LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' '))
    message.pop_back();
  if (message.empty()) message = "system error " + std::to_string(code);
  return message;
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) return {argv, argv + argc};
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(windows::FromWide(wide[i]));
  ::LocalFree(wide);
  return arguments;
}

namespace {
UINT consoleOutput = 0;
void RestoreConsole() { ::SetConsoleOutputCP(consoleOutput); }
}  // namespace

void UseUtf8Console() {
  consoleOutput = ::GetConsoleOutputCP();
  if (consoleOutput == 0 || consoleOutput == CP_UTF8) return;  // no console, or already
  if (::SetConsoleOutputCP(CP_UTF8)) std::atexit(RestoreConsole);
}

}  // namespace platform
