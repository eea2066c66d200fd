#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "files.h"
#include "ini_file.h"
#include "profile.h"
#include "text_util.h"

namespace qv {

struct ProfileReader::Impl {
  IniFile ini;
};

ProfileReader::ProfileReader(std::wstring path) : path_(std::move(path)), impl_(std::make_unique<Impl>()) {
  if (auto bytes = ReadWholeFile(path_)) impl_->ini = IniFile::Parse(std::move(*bytes));
}

ProfileReader::~ProfileReader() = default;

std::uint32_t ProfileReader::GetInt(std::wstring_view section, std::wstring_view key,
                                    std::int32_t fallback) const {
  std::optional<std::wstring> value = impl_->ini.Find(section, key);
  if (!value || value->empty()) return static_cast<std::uint32_t>(fallback);
  return IniFile::ParseInteger(*value);
}

std::wstring ProfileReader::GetString(std::wstring_view section, std::wstring_view key,
                                      std::wstring_view fallback) const {
  std::optional<std::wstring> value = impl_->ini.Find(section, key);
  std::wstring text;
  if (value) {
    text = std::move(*value);
  } else {
    text = fallback;
    while (!text.empty() && text.back() == L' ') text.pop_back();
  }
  std::u16string units = WideToUtf16(text);
  if (units.size() < kProfileBufferSize) return text;
  units.resize(kProfileBufferSize - 1);
  return Utf16ToWide(units);
}

std::vector<std::wstring> ProfileReader::SectionNames() const { return impl_->ini.SectionNames(); }

bool WriteProfileValue(const std::wstring& path, std::wstring_view section, std::wstring_view key,
                        std::wstring_view value) {
  const std::string target = WideToUtf8(path);
  IniFile ini;
  struct stat st {};
  bool exists = stat(target.c_str(), &st) == 0;
  if (exists) {
    std::optional<std::string> bytes = ReadWholeFile(path);
    if (!bytes) return false;  // never replace a file we could not read
    ini = IniFile::Parse(std::move(*bytes));
  }
  if (!ini.Set(section, key, value) && exists) return true;
  // A new file next to the old one, then one rename: a crash leaves either.
  std::string temp = target + ".tmp" + std::to_string(getpid());
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, exists ? (st.st_mode & 07777) : 0666);
  if (fd < 0) return false;
  if (exists) fchmod(fd, st.st_mode & 07777);
  std::string bytes = ini.Serialize();
  std::size_t done = 0;
  bool ok = true;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (ok && fsync(fd) != 0) ok = false;
  if (close(fd) != 0) ok = false;
  if (ok && rename(temp.c_str(), target.c_str()) != 0) ok = false;
  if (!ok) unlink(temp.c_str());
  return ok;
}

}  // namespace qv
