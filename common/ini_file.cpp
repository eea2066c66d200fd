#include "common/ini_file.h"

#include <algorithm>

#include "common/codec.h"
#include "common/text_util.h"

namespace qv {
namespace {

constexpr std::size_t npos = static_cast<std::size_t>(-1);

bool IsCp932Lead(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

bool IsBlank(wchar_t c) { return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x1A; }

std::wstring_view Trim(std::wstring_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::wstring Folded(std::wstring_view s) {
  std::wstring out(s);
  for (wchar_t& c : out) c = FoldCase(c);
  return out;
}

std::wstring_view StripQuotes(std::wstring_view v) {
  if (v.size() >= 2 && (v.front() == L'"' || v.front() == L'\'') && v.back() == v.front()) {
    return v.substr(1, v.size() - 2);
  }
  return v;
}

}  // namespace

IniFile IniFile::Parse(std::string bytes) {
  IniFile ini;
  // Room for every line at once: a big file would otherwise regrow often.
  ini.lines_.reserve(1 + static_cast<std::size_t>(std::max(std::count(bytes.begin(), bytes.end(), '\n'),
                                                           std::count(bytes.begin(), bytes.end(), '\r'))));
  std::size_t start = 0;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    ini.encoding_ = Encoding::Utf16Le;
    ini.bom_ = bytes.substr(0, 2);
    start = 2;
    std::size_t i = start;
    std::size_t lineStart = start;
    while (i + 1 < bytes.size()) {
      const unsigned unit = static_cast<unsigned>(static_cast<unsigned char>(bytes[i])) |
                            (static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 1])) << 8);
      if (unit == 0x0D || unit == 0x0A) {
        std::size_t endLen = 2;
        if (unit == 0x0D && i + 3 < bytes.size() && bytes[i + 2] == 0x0A && bytes[i + 3] == 0) endLen = 4;
        ini.AddLine(bytes.substr(lineStart, i + endLen - lineStart), endLen);
        i += endLen;
        lineStart = i;
        continue;
      }
      i += 2;
    }
    if (lineStart < bytes.size()) ini.AddLine(bytes.substr(lineStart), 0);
  } else {
    // Room for every line at once: growing the vector moves every line again.
    std::size_t breaks = 0;
    for (char c : bytes) breaks += c == '\r' || c == '\n';
    ini.lines_.reserve(breaks + 1);
    std::size_t lineStart = 0;
    std::size_t i = 0;
    while (i < bytes.size()) {
      char c = bytes[i];
      // Windows decodes the file before it splits it into lines: a lead byte
      // takes the next byte (but NUL) with it, even a CR or LF.
      if (IsCp932Lead(static_cast<unsigned char>(c))) {
        i += (i + 1 < bytes.size() && bytes[i + 1] != '\0') ? 2 : 1;
        continue;
      }
      if (c == '\r' || c == '\n') {
        std::size_t endLen = (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ? 2 : 1;
        ini.AddLine(bytes.substr(lineStart, i + endLen - lineStart), endLen);
        i += endLen;
        lineStart = i;
        continue;
      }
      ++i;
    }
    if (lineStart < bytes.size()) ini.AddLine(bytes.substr(lineStart), 0);
  }
  ini.Reindex();
  return ini;
}

void IniFile::AddLine(std::string raw, std::size_t endingBytes, std::size_t at) {
  Line& line = *lines_.emplace(lines_.begin() + static_cast<std::ptrdiff_t>(std::min(at, lines_.size())));
  line.ending = raw.substr(raw.size() - endingBytes);
  std::string_view body(raw.data(), raw.size() - endingBytes);
  // Reused from line to line: only the name and the value are kept.
  thread_local std::wstring text;
  if (encoding_ == Encoding::Utf16Le) {
    std::u16string units;
    units.reserve(body.size() / 2);
    for (std::size_t i = 0; i + 1 < body.size(); i += 2) {
      units.push_back(static_cast<char16_t>(static_cast<unsigned char>(body[i]) |
                                            (static_cast<unsigned char>(body[i + 1]) << 8)));
    }
    text = Utf16ToWide(units);
  } else {
    DecodeCp932(body, text);
  }
  std::wstring_view t = Trim(text);
  if (!t.empty() && t.front() == L'[') {
    std::size_t close = t.rfind(L']');
    if (close != std::wstring_view::npos) {
      line.kind = Kind::Section;
      line.name = std::wstring(Trim(t.substr(1, close - 1)));
    }
  }
  if (line.kind == Kind::Other && !t.empty() && t.front() != L';') {
    std::size_t eq = t.find(L'=');
    if (eq == std::wstring_view::npos) {
      line.kind = Kind::EntryNoValue;
      line.name = std::wstring(t);
    } else {
      line.kind = Kind::Entry;
      line.name = std::wstring(Trim(t.substr(0, eq)));
      line.value = std::wstring(StripQuotes(Trim(t.substr(eq + 1))));
    }
  }
  line.raw = std::move(raw);
}

void IniFile::Reindex() {
  sections_.clear();
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].kind == Kind::Section) sections_.emplace(Folded(lines_[i].name), i);
  }
}

std::size_t IniFile::FindSection(std::wstring_view section) const {
  auto it = sections_.find(Folded(section));
  return it == sections_.end() ? npos : it->second;
}

std::optional<std::wstring> IniFile::Find(std::wstring_view section, std::wstring_view key) const {
  std::size_t header = FindSection(section);
  if (header == npos) return std::nullopt;
  for (std::size_t i = header + 1; i < lines_.size(); ++i) {
    const Line& line = lines_[i];
    if (line.kind == Kind::Section) break;
    if ((line.kind == Kind::Entry || line.kind == Kind::EntryNoValue) && EqualsNoCase(line.name, key)) {
      if (line.kind == Kind::EntryNoValue) return std::nullopt;
      return line.value;
    }
  }
  return std::nullopt;
}

std::vector<std::wstring> IniFile::SectionNames() const {
  std::vector<std::wstring> names;
  for (const Line& line : lines_) {
    if (line.kind == Kind::Section) names.push_back(line.name);
  }
  return names;
}

std::vector<std::wstring> IniFile::KeyNames(std::wstring_view section) const {
  std::vector<std::wstring> names;
  std::size_t header = FindSection(section);
  if (header == npos) return names;
  for (std::size_t i = header + 1; i < lines_.size() && lines_[i].kind != Kind::Section; ++i) {
    if (lines_[i].kind == Kind::Entry) names.push_back(lines_[i].name);
  }
  return names;
}

std::string IniFile::Encode(std::wstring_view text) const {
  if (encoding_ == Encoding::Ansi) return EncodeCp932(text);
  std::u16string units = WideToUtf16(text);
  std::string out;
  out.reserve(units.size() * 2);
  for (char16_t u : units) {
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
  }
  return out;
}

std::string IniFile::NewLine() const { return Encode(L"\r\n"); }

bool IniFile::Set(std::wstring_view section, std::wstring_view key, std::wstring_view value) {
  std::size_t header = FindSection(section);
  auto make = [&](std::wstring_view name) {
    std::wstring text(name);
    text.push_back(L'=');
    text.append(value);
    return text;
  };
  // Bring an unterminated last line to an end before anything goes after it.
  auto terminateLast = [&] {
    if (!lines_.empty() && lines_.back().ending.empty()) {
      // A stray odd byte at the end of a UTF-16 file is no character, and
      // would shift every unit written after it.
      if (encoding_ == Encoding::Utf16Le && lines_.back().raw.size() % 2 == 1) lines_.back().raw.pop_back();
      lines_.back().ending = NewLine();
      lines_.back().raw += lines_.back().ending;
    }
  };
  if (header == npos) {
    terminateLast();
    std::wstring head = L"[";
    head.append(section);
    head.append(L"]");
    AddLine(Encode(head) + NewLine(), NewLine().size());
    AddLine(Encode(make(key)) + NewLine(), NewLine().size());
    Reindex();
    return true;
  }
  std::size_t lastEntry = header;
  for (std::size_t i = header + 1; i < lines_.size(); ++i) {
    Line& line = lines_[i];
    if (line.kind == Kind::Section) break;
    if (line.kind != Kind::Entry && line.kind != Kind::EntryNoValue) continue;
    lastEntry = i;
    if (!EqualsNoCase(line.name, key)) continue;
    if (line.kind == Kind::Entry && line.value == value) return false;
    std::string ending = line.ending;
    std::string raw = Encode(make(line.name)) + ending;
    // Re-parse the new text so the model matches what a reader will see.
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(i));
    AddLine(std::move(raw), ending.size(), i);
    Reindex();
    return true;
  }
  if (lastEntry + 1 == lines_.size()) terminateLast();
  AddLine(Encode(make(key)) + NewLine(), NewLine().size(), lastEntry + 1);
  Reindex();
  return true;
}

std::string IniFile::Serialize() const {
  std::size_t size = bom_.size();
  for (const Line& line : lines_) size += line.raw.size();
  std::string out;
  out.reserve(size);
  out += bom_;
  for (const Line& line : lines_) out += line.raw;
  return out;
}

std::uint32_t IniFile::ParseInteger(std::wstring_view text) {
  std::size_t i = 0;
  while (i < text.size() && static_cast<std::uint32_t>(text[i]) <= 0x20) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
    negative = text[i] == L'-';
    ++i;
  }
  unsigned base = 10;
  if (i + 1 < text.size() && text[i] == L'0') {
    if (text[i + 1] == L'x') base = 16;
    if (text[i + 1] == L'o') base = 8;
    if (text[i + 1] == L'b') base = 2;
    if (base != 10) i += 2;
  }
  std::uint32_t value = 0;
  for (; i < text.size(); ++i) {
    wchar_t c = text[i];
    unsigned digit;
    if (c >= L'0' && c <= L'9') {
      digit = static_cast<unsigned>(c - L'0');
    } else if (c >= L'a' && c <= L'f') {
      digit = static_cast<unsigned>(c - L'a' + 10);
    } else if (c >= L'A' && c <= L'F') {
      digit = static_cast<unsigned>(c - L'A' + 10);
    } else {
      break;
    }
    if (digit >= base) break;
    value = value * base + digit;
  }
  return negative ? 0u - value : value;
}

}  // namespace qv
