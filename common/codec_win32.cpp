#include <windows.h>

#include <climits>

#include "common/codec.h"

namespace qv {

std::string EncodeCp932(std::wstring_view text) {
  if (text.empty() || text.size() > INT_MAX / 2) return {};
  const int n = static_cast<int>(text.size());
  int size = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, text.data(), n, nullptr, 0, "?", nullptr);
  if (size <= 0) return {};
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, text.data(), n, out.data(), size, "?", nullptr);
  return out;
}

std::wstring DecodeCp932(std::string_view bytes) {
  std::wstring out;
  DecodeCp932(bytes, out);
  return out;
}

void DecodeCp932(std::string_view bytes, std::wstring& out) {
  out.clear();
  if (bytes.empty() || bytes.size() > INT_MAX) return;
  const int n = static_cast<int>(bytes.size());
  int size = MultiByteToWideChar(932, 0, bytes.data(), n, nullptr, 0);
  if (size <= 0) return;
  out.resize(static_cast<std::size_t>(size));
  MultiByteToWideChar(932, 0, bytes.data(), n, out.data(), size);
}

}  // namespace qv
