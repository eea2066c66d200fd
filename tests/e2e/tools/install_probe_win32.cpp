// Reads back what the installer set, for the package test:
//   qv_install_probe dacl PATH         dacl=<the file's DACL in SDDL>
//   qv_install_probe recovery SERVICE  recovery=<reset and actions>, or
//                                      recovery=unreadable error=<code>
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/format.h"
#include "common/handles_win32.h"

namespace {

using UniqueLocal = qv::UniqueLocalMemory;

void Print(const std::wstring& line) { std::fputws((line + L"\n").c_str(), stdout); }

int Dacl(const wchar_t* path) {
  PACL dacl = nullptr;
  UniqueLocal sd;
  const DWORD error = GetNamedSecurityInfoW(path, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                            &dacl, nullptr, sd.Receive());
  if (error != ERROR_SUCCESS) {
    Print(qv::Format(L"dacl=unreadable error=%u", error));
    return 1;
  }
  UniqueLocal text;
  if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(sd.Get(), SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                            reinterpret_cast<LPWSTR*>(text.Receive()), nullptr)) {
    return 1;
  }
  Print(qv::Format(L"dacl=%s", static_cast<const wchar_t*>(text.Get())));
  return 0;
}

int Recovery(const wchar_t* name) {
  const qv::UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  const qv::UniqueServiceHandle service(manager ? OpenServiceW(manager.Get(), name, SERVICE_QUERY_CONFIG) : nullptr);
  if (!service) return 1;
  DWORD needed = 0;
  QueryServiceConfig2W(service.Get(), SERVICE_CONFIG_FAILURE_ACTIONS, nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed);
  if (needed == 0 ||
      !QueryServiceConfig2W(service.Get(), SERVICE_CONFIG_FAILURE_ACTIONS, buffer.data(), needed, &needed)) {
    Print(qv::Format(L"recovery=unreadable error=%u", GetLastError()));
    return 0;
  }
  const auto* actions = reinterpret_cast<const SERVICE_FAILURE_ACTIONSW*>(buffer.data());
  std::wstring line = qv::Format(L"recovery=reset %u", actions->dwResetPeriod);
  for (DWORD i = 0; i < actions->cActions; ++i) {
    line += qv::Format(L"; type %d delay %u", static_cast<int>(actions->lpsaActions[i].Type),
                       actions->lpsaActions[i].Delay);
  }
  Print(line);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  const std::wstring what = argv[1];
  if (what == L"dacl") return Dacl(argv[2]);
  if (what == L"recovery") return Recovery(argv[2]);
  return 2;
}
