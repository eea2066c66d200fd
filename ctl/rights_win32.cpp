#include <windows.h>

#include "ctl/rights.h"

namespace qv {
namespace {

// In a token that UAC filtered, the Administrators group is there only for
// deny entries, and CheckTokenMembership says no: an elevated token is needed.
bool IsElevatedAdministrator() {
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID administrators = nullptr;
  if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                &administrators)) {
    return false;
  }
  BOOL member = FALSE;
  const BOOL asked = CheckTokenMembership(nullptr, administrators, &member);
  FreeSid(administrators);
  return asked && member;
}

constexpr wchar_t kNeedsAdministrator[] =
    L"needs administrator rights, as the Configurator does: run it from a command prompt opened with "
    L"\"Run as administrator\"";

}  // namespace

std::optional<std::wstring> MissingWriteRights(const std::vector<std::wstring>&) {
  if (IsElevatedAdministrator()) return std::nullopt;
  return kNeedsAdministrator;
}

std::optional<std::wstring> MissingServiceRights() {
  if (IsElevatedAdministrator()) return std::nullopt;
  return kNeedsAdministrator;
}

}  // namespace qv
