#pragma once
// What every command of quorvanexctl gets: the program directory whose INI
// files it works on, and standard output and error in the console's text.
#include <string>
#include <string_view>

namespace qv {

inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 2;  // bad command line; also a bad value

// Somewhere text goes. Lines end with a bare "\n"; the console output turns
// it into what the platform's text files use.
class TextOutput {
 public:
  virtual ~TextOutput() = default;
  virtual void Write(std::wstring_view text) = 0;
};

// Standard output and error: Linux UTF-8; Windows the console itself when
// it is one (WriteConsoleW), otherwise the console's output code page (the
// ANSI code page without a console) with CR LF line ends.
TextOutput& StandardOutput();
TextOutput& StandardError();

class CtlContext {
 public:
  CtlContext(std::wstring directory, std::wstring usage, TextOutput& out = StandardOutput(),
             TextOutput& err = StandardError());

  // The directory of the programs and their INI files (no trailing separator).
  const std::wstring& Directory() const { return directory_; }

  void Out(std::wstring_view text) { out_.Write(text); }
  void Err(std::wstring_view text) { err_.Write(text); }

  // "quorvanexctl: <message>" and the usage on standard error; returns kExitUsage.
  int UsageError(std::wstring_view message);
  const std::wstring& Usage() const { return usage_; }

 private:
  std::wstring directory_;
  std::wstring usage_;
  TextOutput& out_;
  TextOutput& err_;
};

}  // namespace qv
