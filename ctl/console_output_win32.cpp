#include <windows.h>

#include <string>

#include "ctl/ctl_context.h"

namespace qv {
namespace {

// WriteConsoleW has limits on one call's size on older systems.
constexpr std::size_t kConsoleChunk = 8192;

class HandleOutput final : public TextOutput {
 public:
  explicit HandleOutput(DWORD which) : which_(which) {}

  void Write(std::wstring_view text) override {
    HANDLE handle = GetStdHandle(which_);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
      WriteToConsole(handle, text);
    } else {
      WriteBytes(handle, Encode(text));
    }
  }

 private:
  static void WriteToConsole(HANDLE handle, std::wstring_view text) {
    while (!text.empty()) {
      std::size_t n = text.size() < kConsoleChunk ? text.size() : kConsoleChunk;
      // Never split a surrogate pair between two calls.
      if (n < text.size() && IS_HIGH_SURROGATE(text[n - 1])) --n;
      DWORD written = 0;
      if (!WriteConsoleW(handle, text.data(), static_cast<DWORD>(n), &written, nullptr)) return;
      text.remove_prefix(n);
    }
  }

  // A file or pipe gets what the console would show: its output code page,
  // and lines ended as Windows text files end them.
  static std::string Encode(std::wstring_view text) {
    std::wstring crlf;
    crlf.reserve(text.size() + text.size() / 32);
    for (wchar_t c : text) {
      if (c == L'\n') crlf.push_back(L'\r');
      crlf.push_back(c);
    }
    if (crlf.empty()) return {};
    UINT codePage = GetConsoleOutputCP();
    if (codePage == 0) codePage = GetACP();
    const int size = WideCharToMultiByte(codePage, 0, crlf.data(), static_cast<int>(crlf.size()), nullptr,
                                         0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(codePage, 0, crlf.data(), static_cast<int>(crlf.size()), bytes.data(), size,
                        nullptr, nullptr);
    return bytes;
  }

  static void WriteBytes(HANDLE handle, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
      DWORD written = 0;
      const DWORD n = static_cast<DWORD>(bytes.size() - done);
      if (!WriteFile(handle, bytes.data() + done, n, &written, nullptr) || written == 0) return;
      done += written;
    }
  }

  DWORD which_;
};

}  // namespace

TextOutput& StandardOutput() {
  static HandleOutput out(STD_OUTPUT_HANDLE);
  return out;
}

TextOutput& StandardError() {
  static HandleOutput err(STD_ERROR_HANDLE);
  return err;
}

}  // namespace qv
