// WQL LIKE evaluator and query parser: any query text and any pattern are
// handled without a crash or a hang, and matching ignores ASCII case.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/text_util.h"
#include "monitor/wmi/wql.h"

namespace {

std::wstring AsciiUpper(std::wstring text) {
  for (wchar_t& c : text) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  }
  return text;
}

}  // namespace

// Input: the pattern (or query), a line feed, the text to match.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::size_t split = input.find('\n');
  std::wstring pattern = qv::Utf8ToWide(input.substr(0, split));
  std::wstring text = split == std::string_view::npos ? std::wstring()
                                                      : qv::Utf8ToWide(input.substr(split + 1));

  if (auto query = qv::ParseWqlLikeQuery(pattern)) {
    (void)qv::WqlLike(text, query->pattern);
  }
  (void)qv::ParseWqlLikeQuery(qv::Utf8ToWide(input));

  bool matched = qv::WqlLike(text, pattern);
  if (qv::WqlLike(AsciiUpper(text), pattern) != matched) std::abort();
  return 0;
}
