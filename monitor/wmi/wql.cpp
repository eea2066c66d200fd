#include "monitor/wmi/wql.h"

#include <cwctype>

#include "common/format.h"
#include "common/text_util.h"

namespace qv {
namespace {

class Scanner {
 public:
  explicit Scanner(std::wstring_view text) : text_(text) {}

  void SkipSpace() {
    while (pos_ < text_.size() && std::iswspace(static_cast<std::wint_t>(text_[pos_]))) ++pos_;
  }
  bool AtEnd() {
    SkipSpace();
    return pos_ == text_.size();
  }
  bool Take(wchar_t c) {
    SkipSpace();
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  std::optional<std::wstring> Identifier() {
    SkipSpace();
    std::size_t start = pos_;
    while (pos_ < text_.size() && (std::iswalnum(static_cast<std::wint_t>(text_[pos_])) || text_[pos_] == L'_')) ++pos_;
    if (pos_ == start) return std::nullopt;
    return std::wstring(text_.substr(start, pos_ - start));
  }
  // A keyword must stand alone: "fromX" is an identifier, not "from".
  bool Keyword(std::wstring_view word) {
    std::size_t saved = pos_;
    auto id = Identifier();
    if (id && EqualsNoCase(*id, word)) return true;
    pos_ = saved;
    return false;
  }
  // '...' or "...": "\\" is one backslash, a backslash before any other
  // character keeps that character; no closing quote is an invalid query.
  std::optional<std::wstring> Literal() {
    SkipSpace();
    if (pos_ >= text_.size() || (text_[pos_] != L'\'' && text_[pos_] != L'"')) return std::nullopt;
    const wchar_t quote = text_[pos_++];
    std::wstring value;
    while (pos_ < text_.size()) {
      wchar_t c = text_[pos_++];
      if (c == quote) return value;
      if (c == L'\\') {
        if (pos_ >= text_.size()) return std::nullopt;
        c = text_[pos_++];
      }
      value.push_back(c);
    }
    return std::nullopt;
  }

 private:
  std::wstring_view text_;
  std::size_t pos_ = 0;
};

// One bracketed class at pattern[p] == '['; sets `end` past the ']'.
// Returns false for a class without its closing bracket.
bool MatchClass(std::wstring_view pattern, std::size_t p, wchar_t c, bool& matched, std::size_t& end) {
  std::size_t i = p + 1;
  bool negate = false;
  if (i < pattern.size() && pattern[i] == L'^') {
    negate = true;
    ++i;
  }
  const wchar_t folded = FoldCase(c);
  bool hit = false;
  while (i < pattern.size() && pattern[i] != L']') {
    wchar_t lo = pattern[i];
    if (i + 2 < pattern.size() && pattern[i + 1] == L'=' && pattern[i + 2] != L']') {
      wchar_t hi = pattern[i + 2];
      if (FoldCase(lo) <= folded && folded <= FoldCase(hi)) hit = true;
      i += 3;
    } else {
      if (FoldCase(lo) == folded) hit = true;
      ++i;
    }
  }
  if (i >= pattern.size()) return false;
  end = i + 1;
  matched = hit != negate;
  return true;
}

// One pattern token (`_`, a bracket class or a literal) against one
// character; `next` receives the position after the token.
bool MatchToken(std::wstring_view pattern, std::size_t p, wchar_t c, std::size_t& next) {
  const wchar_t pc = pattern[p];
  if (pc == L'_') {
    next = p + 1;
    return true;
  }
  if (pc == L'[') {
    bool matched = false;
    std::size_t end = 0;
    if (!MatchClass(pattern, p, c, matched, end) || !matched) return false;
    next = end;
    return true;
  }
  next = p + 1;
  return FoldCase(pc) == FoldCase(c);
}

// Every token but "%" takes exactly one character, so going back to the last
// "%" is enough: O(text x pattern) at worst, never exponential. The pattern
// comes from the settings, and a slow match would hold up the cycle and a stop.
bool LikeMatch(std::wstring_view text, std::wstring_view pattern) {
  constexpr std::size_t none = static_cast<std::size_t>(-1);
  std::size_t t = 0;
  std::size_t p = 0;
  std::size_t starP = none;
  std::size_t starT = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == L'%') {
      while (p < pattern.size() && pattern[p] == L'%') ++p;
      starP = p;
      starT = t;
      continue;
    }
    std::size_t next = 0;
    if (p < pattern.size() && MatchToken(pattern, p, text[t], next)) {
      ++t;
      p = next;
      continue;
    }
    if (starP == none) return false;
    t = ++starT;
    p = starP;
  }
  while (p < pattern.size() && pattern[p] == L'%') ++p;
  return p == pattern.size();
}

}  // namespace

std::optional<WqlLikeQuery> ParseWqlLikeQuery(std::wstring_view query) {
  Scanner s(query);
  WqlLikeQuery q;
  if (!s.Keyword(L"select")) return std::nullopt;
  do {
    if (s.Take(L'*')) {
      q.properties.push_back(L"*");
      continue;
    }
    auto name = s.Identifier();
    if (!name || EqualsNoCase(*name, L"from")) return std::nullopt;
    q.properties.push_back(*name);
  } while (s.Take(L','));
  if (!s.Keyword(L"from")) return std::nullopt;
  auto cls = s.Identifier();
  if (!cls) return std::nullopt;
  q.className = *cls;
  if (!s.Keyword(L"where")) return std::nullopt;
  auto prop = s.Identifier();
  if (!prop) return std::nullopt;
  q.property = *prop;
  if (!s.Keyword(L"like")) return std::nullopt;
  auto literal = s.Literal();
  if (!literal || !s.AtEnd()) return std::nullopt;
  q.pattern = *literal;
  return q;
}

bool WqlLike(std::wstring_view text, std::wstring_view pattern) { return LikeMatch(text, pattern); }

std::wstring DeviceQueryText(const std::wstring& escapedPrefix) {
  return Format(L"Select Caption, Status from Win32_PnPEntity where DeviceID like '%s%%'", escapedPrefix);
}

}  // namespace qv
