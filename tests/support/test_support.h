#pragma once
// Helpers shared by the unit tests.
#include <string>

namespace qv::test {

// A fresh, empty directory that is removed again with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::wstring& Path() const { return path_; }
  std::wstring File(const std::wstring& name) const;

 private:
  std::wstring path_;
};

// Writes raw bytes to a file (replacing it) / reads them back ("" when missing).
void WriteBytes(const std::wstring& path, const std::string& bytes);
std::string ReadBytes(const std::wstring& path);

// True when this Windows binary runs under Wine rather than on Windows.
bool RunningUnderWine();

// Sets TZ for the C runtime of this process (use "JST-9" or "UTC0", which both
// runtimes read the same way).
void SetTimeZone(const char* tz);

}  // namespace qv::test
