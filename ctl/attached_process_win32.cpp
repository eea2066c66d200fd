#include <windows.h>

#include "common/format.h"
#include "common/handles_win32.h"
#include "ctl/attached_process.h"

namespace qv {
namespace {

// One argument as CommandLineToArgvW reads it back.
std::wstring Quoted(const std::wstring& arg) {
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out.push_back(c);
  }
  out.append(backslashes * 2, L'\\');
  out.push_back(L'"');
  return out;
}

}  // namespace

std::optional<std::uint32_t> RunAttached(const std::wstring& program, const std::vector<std::wstring>& args,
                                         const std::wstring& directory, std::wstring& why) {
  std::wstring commandLine = Quoted(program);
  for (const std::wstring& a : args) commandLine += L" " + Quoted(a);
  std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
  line.push_back(L'\0');

  // The standard handles are handed on as they are, redirected ones included.
  STARTUPINFOW startup{};
  startup.cb = static_cast<DWORD>(sizeof startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  for (HANDLE h : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
    if (h != nullptr && h != INVALID_HANDLE_VALUE) SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  }
  PROCESS_INFORMATION created{};
  if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, directory.c_str(), &startup,
                      &created)) {
    const DWORD error = GetLastError();
    why = error == ERROR_FILE_NOT_FOUND ? std::wstring(L"no such file") : Format(L"error %u", error);
    return std::nullopt;
  }
  UniqueKernelHandle process(created.hProcess);
  UniqueKernelHandle thread(created.hThread);
  WaitForSingleObject(process.Get(), INFINITE);
  DWORD code = 0;
  if (!GetExitCodeProcess(process.Get(), &code)) {
    why = Format(L"error %u", GetLastError());
    return std::nullopt;
  }
  return static_cast<std::uint32_t>(code);
}

}  // namespace qv
