#pragma once
// printf-style formatting with the format text checked against the argument
// types at compile time. Only what the programs use: %s (wide string), %d
// (signed), %u (unsigned) and %%. The same text means the same on every
// compiler, unlike swprintf's %s.
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

namespace qv {

namespace format_detail {

enum class ArgKind { Text, Signed, Unsigned, Invalid };

template <class T>
consteval ArgKind KindOf() {
  using U = std::remove_cvref_t<std::decay_t<T>>;
  if constexpr (std::is_same_v<U, std::wstring> || std::is_same_v<U, std::wstring_view> ||
                std::is_same_v<U, const wchar_t*> || std::is_same_v<U, wchar_t*>) {
    return ArgKind::Text;
  } else if constexpr (std::is_same_v<U, bool> || std::is_same_v<U, wchar_t> ||
                       std::is_same_v<U, char>) {
    return ArgKind::Invalid;
  } else if constexpr (std::is_integral_v<U> && std::is_signed_v<U>) {
    return ArgKind::Signed;
  } else if constexpr (std::is_integral_v<U> && std::is_unsigned_v<U>) {
    return ArgKind::Unsigned;
  } else {
    return ArgKind::Invalid;
  }
}

// Not constexpr on purpose: calling it during constant evaluation makes the
// format check fail to compile, with this name in the message.
inline void format_text_does_not_match_arguments() {}

template <class... Args>
consteval void Check(const wchar_t* text) {
  constexpr ArgKind kinds[] = {KindOf<Args>()..., ArgKind::Invalid};
  std::size_t next = 0;
  for (const wchar_t* p = text; *p; ++p) {
    if (*p != L'%') continue;
    ++p;
    if (*p == 0) break;  // a lone "%" at the end is printed as it is
    ArgKind want;
    switch (*p) {
      case L'%': continue;
      case L's': want = ArgKind::Text; break;
      case L'd': want = ArgKind::Signed; break;
      case L'u': want = ArgKind::Unsigned; break;
      default: format_text_does_not_match_arguments(); return;
    }
    if (next >= sizeof...(Args)) format_text_does_not_match_arguments();
    ArgKind have = kinds[next++];
    bool ok = have == want || (want == ArgKind::Signed && have == ArgKind::Unsigned) ||
              (want == ArgKind::Unsigned && have == ArgKind::Signed);
    if (!ok) format_text_does_not_match_arguments();
  }
  if (next != sizeof...(Args)) format_text_does_not_match_arguments();
}

struct Arg {
  ArgKind kind;
  std::wstring_view text;
  std::int64_t s;
  std::uint64_t u;
};

template <class T>
Arg MakeArg(const T& value) {
  constexpr ArgKind k = KindOf<T>();
  if constexpr (k == ArgKind::Text) {
    if constexpr (std::is_pointer_v<std::remove_cvref_t<T>>) {
      // A null string prints as the MSVC runtime prints it, instead of crashing.
      if (value == nullptr) return Arg{k, L"(null)", 0, 0};
    }
    return Arg{k, std::wstring_view(value), 0, 0};
  } else if constexpr (k == ArgKind::Signed) {
    return Arg{k, {}, static_cast<std::int64_t>(value), 0};
  } else {
    return Arg{k, {}, 0, static_cast<std::uint64_t>(value)};
  }
}

std::wstring Render(std::wstring_view text, const Arg* args, std::size_t count);

}  // namespace format_detail

template <class... Args>
class FormatString {
 public:
  template <std::size_t N>
  consteval FormatString(const wchar_t (&text)[N]) : text_(text) {  // NOLINT: implicit on purpose
    format_detail::Check<Args...>(text);
  }
  constexpr std::wstring_view View() const { return text_; }

 private:
  const wchar_t* text_;
};

template <class... Args>
std::wstring Format(std::type_identity_t<FormatString<Args...>> format, const Args&... args) {
  const format_detail::Arg list[] = {format_detail::MakeArg(args)..., format_detail::Arg{}};
  return format_detail::Render(format.View(), list, sizeof...(Args));
}

}  // namespace qv
