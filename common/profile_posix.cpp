#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "common/files.h"
#include "common/handles_posix.h"
#include "common/ini_file.h"
#include "common/profile.h"
#include "common/text_util.h"

namespace qv {
namespace {

// GetPrivateProfileIntW reads the value through a buffer of this many units.
constexpr std::size_t kIntBufferSize = 30;

// What GetPrivateProfileStringW leaves in a buffer of `size` UTF-16 units:
// the value or the default (trailing spaces removed), up to its first NUL,
// cut to size - 1 units.
std::wstring Lookup(const IniFile& ini, std::wstring_view section, std::wstring_view key,
                    std::wstring_view fallback, std::size_t size) {
  std::optional<std::wstring> value = ini.Find(section, key);
  std::wstring text;
  if (value) {
    text = std::move(*value);
  } else {
    text = fallback;
    while (!text.empty() && text.back() == L' ') text.pop_back();
  }
  std::size_t nul = text.find(L'\0');
  if (nul != std::wstring::npos) text.resize(nul);
  if (text.size() < size / 2) return text;  // fits even as surrogate pairs
  std::u16string units = WideToUtf16(text);
  if (units.size() < size) return text;
  units.resize(size - 1);
  return Utf16ToWide(units);
}



// A FIFO would block the reader and a device like /dev/zero never end: only a
// regular file is a profile.
bool IsRegularFile(const std::wstring& path) {
  struct stat st {};
  return stat(WideToUtf8(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string DirectoryOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

struct ProfileReader::Impl {
  IniFile ini;
};

ProfileReader::ProfileReader(std::wstring path) : path_(std::move(path)), impl_(std::make_unique<Impl>()) {
  if (!IsRegularFile(path_)) return;
  if (auto bytes = ReadWholeFile(path_)) impl_->ini = IniFile::Parse(std::move(*bytes));
}

ProfileReader::~ProfileReader() = default;

std::uint32_t ProfileReader::GetInt(std::wstring_view section, std::wstring_view key,
                                    std::int32_t fallback) const {
  std::wstring text = Lookup(impl_->ini, section, key, L"", kIntBufferSize);
  if (text.empty()) return static_cast<std::uint32_t>(fallback);
  return IniFile::ParseInteger(text);
}

std::wstring ProfileReader::GetString(std::wstring_view section, std::wstring_view key,
                                      std::wstring_view fallback) const {
  return Lookup(impl_->ini, section, key, fallback, kProfileBufferSize);
}

std::vector<std::wstring> ProfileReader::SectionNames() const { return impl_->ini.SectionNames(); }

std::vector<std::wstring> ProfileReader::KeyNames(std::wstring_view section) const {
  return impl_->ini.KeyNames(section);
}

bool WriteProfileValue(const std::wstring& path, std::wstring_view section, std::wstring_view key,
                        std::wstring_view value) {
  std::string target = WideToUtf8(path);
  if (target.empty()) return false;
  // Through a symbolic link the file it names is the one to change.
  if (char* real = realpath(target.c_str(), nullptr)) {
    target = real;
    std::free(real);
  }
  IniFile ini;
  struct stat st {};
  const bool exists = stat(target.c_str(), &st) == 0;
  if (!exists && errno != ENOENT) return false;
  if (exists) {
    if (!S_ISREG(st.st_mode)) return false;
    // Never replace a file that could not be read: its content would be lost.
    std::optional<std::string> bytes = ReadWholeFile(Utf8ToWide(target));
    if (!bytes) return false;
    ini = IniFile::Parse(std::move(*bytes));
  }
  if (!ini.Set(section, key, value) && exists) return true;  // unchanged: keep the file's time

  // A complete new file beside the old one, then one rename: after a crash
  // the file is either the old one or the new one, never half written.
  static std::atomic<unsigned> serial{0};
  const std::string temp = target + ".tmp" + std::to_string(getpid()) + "_" + std::to_string(serial++);
  const mode_t mode = exists ? (st.st_mode & 07777) : 0666;
  UniqueFd fd(open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
  if (!fd) return false;
  bool ok = true;
  if (exists) {
    // Keep owner and mode; only root may give a file away, so the owner is best effort.
    [[maybe_unused]] const int owned = fchown(fd.Get(), st.st_uid, st.st_gid);
    ok = fchmod(fd.Get(), st.st_mode & 07777) == 0;
  }
  ok = ok && WriteAll(fd.Get(), ini.Serialize()) && fsync(fd.Get()) == 0;
  if (close(fd.Release()) != 0) ok = false;
  if (ok && rename(temp.c_str(), target.c_str()) != 0) ok = false;
  if (!ok) {
    unlink(temp.c_str());
    return false;
  }
  UniqueFd dir(open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir) fsync(dir.Get());
  return true;
}

}  // namespace qv
