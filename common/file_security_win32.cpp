#include "common/file_security_win32.h"

#include <windows.h>
#include <sddl.h>

#include "common/handles_win32.h"

namespace qv {
namespace {

UniqueSecurityDescriptor AdministratorsOnly() {
  UniqueSecurityDescriptor sd;
  ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdministratorsOnlySddl, SDDL_REVISION_1, sd.Receive(),
                                                       nullptr);
  return sd;
}

}  // namespace

bool RestrictToAdministrators(const std::wstring& path) {
  const UniqueSecurityDescriptor sd = AdministratorsOnly();
  // The descriptor's own control bits carry the protection from inheritance.
  // (SetNamedSecurityInfoW would do the same on Windows, but Wine merges the
  // folder's inheritable entries into the result.)
  return sd && SetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, sd.Get()) != 0;
}

bool CreateAdministratorsOnlyFile(const std::wstring& path) {
  const UniqueSecurityDescriptor sd = AdministratorsOnly();
  if (!sd) return false;
  SECURITY_ATTRIBUTES attributes{sizeof attributes, sd.Get(), FALSE};
  // CREATE_NEW never follows a link at the name: it fails on it.
  const UniqueKernelHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, &attributes, CREATE_NEW,
                                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  return file.IsValid();
}

}  // namespace qv
