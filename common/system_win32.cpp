#include <windows.h>

#include <bcrypt.h>

#include <clocale>
#include <cstdio>
#include <ctime>
#include <cwchar>
#include <vector>

#include "common/codec.h"
#include "common/system.h"

namespace qv {

const wchar_t kPathSeparator = L'\\';

std::wstring JoinPath(std::wstring_view directory, std::wstring_view name) {
  std::wstring out(directory);
  out.push_back(kPathSeparator);
  out.append(name);
  return out;
}

bool IsAbsolutePath(std::wstring_view path) {
  const auto separator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
  if (path.size() >= 2 && path[1] == L':') return true;
  return path.size() >= 2 && separator(path[0]) && separator(path[1]);
}

std::wstring ExecutablePath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return std::wstring(buffer.data(), n);
    if (buffer.size() >= 32768 * 2) return {};
    buffer.resize(buffer.size() * 2);
  }
}

std::wstring ExecutableDirectory() {
  std::wstring path = ExecutablePath();
  std::size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring ComputerName() {
  wchar_t name[16];
  DWORD size = 16;
  if (!GetComputerNameW(name, &size)) return {};
  return std::wstring(name, size);
}

bool FillRandom(void* buffer, std::size_t size) {
  auto* out = static_cast<unsigned char*>(buffer);
  while (size > 0) {
    const ULONG chunk = static_cast<ULONG>(size < 0x40000000u ? size : 0x40000000u);
    if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, out, chunk, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) return false;
    out += chunk;
    size -= chunk;
  }
  return true;
}

std::int64_t NowSeconds() { return _time64(nullptr); }

std::wstring FormatLocalTime(std::int64_t seconds, const wchar_t* format) {
  // The range the MSVC runtime documents; Wine's accepts more.
  if (seconds < 0 || seconds > 32535215999LL) return {};
  __time64_t t = seconds;
  struct tm local {};
  if (_localtime64_s(&local, &t) != 0) return {};
  wchar_t buffer[128];
  std::size_t n = wcsftime(buffer, 128, format, &local);
  return std::wstring(buffer, n);
}

PlatformInitResult InitializePlatform() {
  if (GetModuleHandleW(nullptr) == nullptr) return PlatformInitResult::NoModuleHandle;
  return PlatformInitResult::Ok;
}

namespace {

void WriteTo(DWORD which, std::FILE* stream, std::wstring_view text) {
  HANDLE out = GetStdHandle(which);
  DWORD mode = 0;
  if (out != nullptr && out != INVALID_HANDLE_VALUE && GetConsoleMode(out, &mode)) {
    DWORD written = 0;
    WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    return;
  }
  std::string bytes = EncodeCp932(text);
  std::fwrite(bytes.data(), 1, bytes.size(), stream);
  std::fflush(stream);
}

}  // namespace

void ConsoleWrite(std::wstring_view text) { WriteTo(STD_OUTPUT_HANDLE, stdout, text); }

void ConsoleWriteError(std::wstring_view text) { WriteTo(STD_ERROR_HANDLE, stderr, text); }

void ResetInheritedSignalState() {}

void SetProgramLocale() { _wsetlocale(LC_ALL, L"japanese"); }

}  // namespace qv
