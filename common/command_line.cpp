#include "common/command_line.h"

namespace qv {
namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

}  // namespace

// Follows CommandLineToArgvW, quirks included, so that a program started here
// sees the arguments a Windows program would see. An empty line gives no
// arguments: Windows would substitute the caller's own path there, which is
// never what a caller that starts a program wants.
std::vector<std::wstring> SplitCommandLine(std::wstring_view line) {
  std::vector<std::wstring> args;
  if (line.empty()) return args;

  std::size_t i = 0;
  const std::size_t n = line.size();
  std::wstring program;
  // The program name: backslashes are literal, and a leading quote runs to
  // the next quote whatever follows it.
  if (line[0] == L'"') {
    ++i;
    while (i < n && line[i] != L'"') program += line[i++];
    if (i < n) ++i;
  } else {
    while (i < n && !IsBlank(line[i])) program += line[i++];
  }
  args.push_back(std::move(program));

  while (i < n && IsBlank(line[i])) ++i;
  if (i == n) return args;

  std::wstring current;
  int quotes = 0;            // 1 inside quotes; 2 counts a doubled quote
  std::size_t backslashes = 0;
  while (i < n) {
    const wchar_t c = line[i];
    if (IsBlank(c) && quotes == 0) {
      args.push_back(std::move(current));
      current.clear();
      backslashes = 0;
      while (i < n && IsBlank(line[i])) ++i;
      if (i == n) return args;
      continue;
    }
    if (c == L'\\') {
      current += c;
      ++backslashes;
      ++i;
      continue;
    }
    if (c == L'"') {
      // 2n backslashes + quote: n backslashes and a quote toggle;
      // 2n+1 backslashes + quote: n backslashes and a literal quote.
      current.resize(current.size() - backslashes / 2);
      if (backslashes % 2 == 0) {
        ++quotes;
      } else {
        current.back() = L'"';
      }
      ++i;
      backslashes = 0;
      // A run of quotes: every third one is a literal quote.
      while (i < n && line[i] == L'"') {
        if (++quotes == 3) {
          current += L'"';
          quotes = 0;
        }
        ++i;
      }
      if (quotes == 2) quotes = 0;
      continue;
    }
    current += c;
    backslashes = 0;
    ++i;
  }
  args.push_back(std::move(current));
  return args;
}

}  // namespace qv
