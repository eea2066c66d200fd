// Custom actions of the Windows installer, in a DLL that the package carries
// in its Binary table (it is not installed):
//   CheckSettings (immediate, before anything is changed) checks the settings
//     properties given to msiexec; a bad value ends the installation with a
//     message that names it. The good ones become ApplySettings' data.
//   CreateMissingIniFiles (deferred, as LocalSystem, after the files are in
//     place) makes each live INI file that is missing from the installed
//     defaults; an existing one is the administrator's and stays.
//   ApplySettings (deferred, as LocalSystem, after the files and the service
//     are in place and before the service starts) writes them into the live
//     INI files, lets only SYSTEM and Administrators open mail.ini, and sets
//     the service's recovery actions.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <iterator>
#include <string>
#include <vector>

#include "common/file_security_win32.h"
#include "common/files.h"
#include "common/format.h"
#include "common/handles_win32.h"
#include "common/server_info.h"
#include "common/service_names.h"
#include "common/system.h"
#include "packaging/windows/install_settings.h"

namespace {

using qv::InstallProperties;

struct MsiHandleTraits {
  using Handle = MSIHANDLE;
  static Handle Invalid() noexcept { return 0; }
  static bool IsValid(Handle h) noexcept { return h != 0; }
  static void Close(Handle h) noexcept { ::MsiCloseHandle(h); }
};
using UniqueMsiHandle = qv::UniqueHandle<MsiHandleTraits>;

constexpr wchar_t kInstallDirKey[] = L"INSTALLDIR";
// The installed defaults' folder below the program folder (DEFAULTSDIR in
// quorvanex.wxs).
constexpr wchar_t kDefaultsFolder[] = L"defaults";
// Recovery: restart one minute after the first and the second failure, then
// nothing; the failure count starts again after a day without failure.
constexpr DWORD kRestartDelayMs = 60 * 1000;
constexpr DWORD kFailureCountResetSeconds = 24 * 60 * 60;

std::wstring Property(MSIHANDLE install, const wchar_t* name) {
  wchar_t empty[1] = L"";
  DWORD size = 0;
  if (MsiGetPropertyW(install, name, empty, &size) != ERROR_MORE_DATA) return L"";
  std::wstring value(size + 1, L'\0');
  size += 1;
  if (MsiGetPropertyW(install, name, value.data(), &size) != ERROR_SUCCESS) return L"";
  value.resize(size);
  return value;
}

// Goes to the installer's log; an error is also shown when there is a UI.
// Every line starts with the prefix the README tells administrators to
// search the log for. The text is a field of its own, so that "[Config]" in
// it is not taken for a property reference of the message template.
void Report(MSIHANDLE install, INSTALLMESSAGE kind, const std::wstring& text) {
  constexpr wchar_t kPrefix[] = L"Quorvanex: ";
  std::wstring lines = kPrefix;
  for (wchar_t c : text) {
    lines += c;
    if (c == L'\n') lines += kPrefix;
  }
  const UniqueMsiHandle record(MsiCreateRecord(1));
  MsiRecordSetStringW(record.Get(), 0, L"[1]");
  MsiRecordSetStringW(record.Get(), 1, lines.c_str());
  MsiProcessMessage(install, kind, record.Get());
}

void ReportError(MSIHANDLE install, const std::wstring& text) {
  Report(install, static_cast<INSTALLMESSAGE>(INSTALLMESSAGE_ERROR | MB_OK | MB_ICONERROR), text);
}

// The program folder as the installer gives it, without the trailing
// backslash; empty, and reported, when it is unknown.
std::wstring ProgramFolder(MSIHANDLE install, std::wstring directory) {
  while (!directory.empty() && directory.back() == L'\\') directory.pop_back();
  if (directory.empty()) ReportError(install, L"the program folder is unknown.");
  return directory;
}

std::wstring Joined(const std::vector<std::wstring>& lines) {
  std::wstring text;
  for (const std::wstring& line : lines) text += (text.empty() ? L"" : L"\n") + line;
  return text;
}

std::wstring ActionText(const SC_ACTION& action) {
  switch (action.Type) {
    case SC_ACTION_RESTART:
      return qv::Format(L"restart after %u s", action.Delay / 1000);
    case SC_ACTION_NONE:
      return L"none";
    default:
      return qv::Format(L"type %d", static_cast<int>(action.Type));
  }
}

// Sets the recovery actions and describes them as the service manager reads
// them back (or says that it cannot). Empty when they could not be set.
std::wstring SetRecoveryActions(MSIHANDLE install) {
  const qv::UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  // A restart action needs the right to start the service.
  const qv::UniqueServiceHandle service(
      manager ? OpenServiceW(manager.Get(), qv::kMonitorServiceName,
                             SERVICE_CHANGE_CONFIG | SERVICE_START | SERVICE_QUERY_CONFIG)
              : nullptr);
  if (!service) {
    ReportError(install, qv::Format(L"the service %s cannot be opened (error %u).",
                                    qv::kMonitorServiceName, GetLastError()));
    return L"";
  }
  SC_ACTION actions[] = {{SC_ACTION_RESTART, kRestartDelayMs}, {SC_ACTION_RESTART, kRestartDelayMs},
                         {SC_ACTION_NONE, 0}};
  SERVICE_FAILURE_ACTIONSW wanted{};
  wanted.dwResetPeriod = kFailureCountResetSeconds;
  wanted.cActions = static_cast<DWORD>(std::size(actions));
  wanted.lpsaActions = actions;
  if (!ChangeServiceConfig2W(service.Get(), SERVICE_CONFIG_FAILURE_ACTIONS, &wanted)) {
    ReportError(install, qv::Format(L"the recovery actions of %s cannot be set (error %u).",
                                    qv::kMonitorServiceName, GetLastError()));
    return L"";
  }

  DWORD needed = 0;
  QueryServiceConfig2W(service.Get(), SERVICE_CONFIG_FAILURE_ACTIONS, nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed);
  if (needed == 0 || !QueryServiceConfig2W(service.Get(), SERVICE_CONFIG_FAILURE_ACTIONS, buffer.data(),
                                           needed, &needed)) {
    return qv::Format(L"set; the service manager does not report them (error %u)", GetLastError());
  }
  const auto* set = reinterpret_cast<const SERVICE_FAILURE_ACTIONSW*>(buffer.data());
  std::wstring text = qv::Format(L"reset after %u s", set->dwResetPeriod);
  for (DWORD i = 0; i < set->cActions; ++i) {
    text += qv::Format(L"; failure %u: %s", i + 1, ActionText(set->lpsaActions[i]));
  }
  return text;
}

}  // namespace

extern "C" UINT __stdcall CheckSettings(MSIHANDLE install) {
  InstallProperties given;
  for (const std::wstring& name : qv::InstallPropertyNames()) {
    std::wstring value = Property(install, name.c_str());
    if (!value.empty()) given.emplace(name, std::move(value));
  }
  const std::vector<std::wstring> problems = qv::CheckInstallProperties(given);
  if (!problems.empty()) {
    ReportError(install, L"nothing was installed or changed.\n" + Joined(problems));
    return ERROR_INSTALL_FAILURE;
  }
  std::wstring names;
  for (const auto& entry : given) names += L" " + entry.first;
  Report(install, INSTALLMESSAGE_INFO, L"settings given:" + (names.empty() ? std::wstring(L" none") : names));
  given.emplace(kInstallDirKey, Property(install, kInstallDirKey));
  MsiSetPropertyW(install, L"ApplySettings", qv::EncodeInstallData(given).c_str());
  return ERROR_SUCCESS;
}

extern "C" UINT __stdcall ApplySettings(MSIHANDLE install) {
  InstallProperties given = qv::DecodeInstallData(Property(install, L"CustomActionData"));
  const std::wstring directory = ProgramFolder(install, given[kInstallDirKey]);
  given.erase(kInstallDirKey);
  if (directory.empty()) return ERROR_INSTALL_FAILURE;
  if (const auto problems = qv::CheckInstallProperties(given); !problems.empty()) {
    ReportError(install, Joined(problems));
    return ERROR_INSTALL_FAILURE;
  }
  const qv::InstallWrites writes = qv::ApplyInstallProperties(directory, given);
  for (const std::wstring& line : writes.written) Report(install, INSTALLMESSAGE_INFO, L"wrote " + line);
  for (const std::wstring& line : writes.notes) Report(install, INSTALLMESSAGE_INFO, line);
  if (!writes.failed.empty()) {
    ReportError(install, L"these settings cannot be written:\n" + Joined(writes.failed));
    return ERROR_INSTALL_FAILURE;
  }

  const std::wstring mailIni = qv::JoinPath(directory, qv::kMailIni);
  if (!qv::RestrictToAdministrators(mailIni)) {
    ReportError(install, qv::Format(L"%s cannot be limited to SYSTEM and Administrators (error %u).", mailIni,
                                    GetLastError()));
    return ERROR_INSTALL_FAILURE;
  }
  Report(install, INSTALLMESSAGE_INFO, qv::Format(L"%s: %s", mailIni, std::wstring(qv::kAdministratorsOnlySddl)));

  const std::wstring recovery = SetRecoveryActions(install);
  if (recovery.empty()) return ERROR_INSTALL_FAILURE;
  Report(install, INSTALLMESSAGE_INFO, L"service recovery actions " + recovery);
  return ERROR_SUCCESS;
}

extern "C" UINT __stdcall CreateMissingIniFiles(MSIHANDLE install) {
  const std::wstring directory = ProgramFolder(install, Property(install, L"CustomActionData"));
  if (directory.empty()) return ERROR_INSTALL_FAILURE;
  for (const wchar_t* name : {qv::kConfigIni, qv::kQuorvanexIni, qv::kMailIni, qv::kMessageIni}) {
    const std::wstring live = qv::JoinPath(directory, name);
    if (qv::PathExists(live)) {
      Report(install, INSTALLMESSAGE_INFO, live + L": kept");
      continue;
    }
    const std::wstring installed = qv::JoinPath(qv::JoinPath(directory, kDefaultsFolder), name);
    if (!qv::CopyFileReplace(installed, live)) {
      ReportError(install, qv::Format(L"%s cannot be made from %s (error %u).", live, installed, GetLastError()));
      return ERROR_INSTALL_FAILURE;
    }
    Report(install, INSTALLMESSAGE_INFO, live + L": made from " + installed);
  }
  return ERROR_SUCCESS;
}
