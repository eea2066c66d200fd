#pragma once
// The settings an administrator can give the Windows installer as public
// properties (msiexec /i ... INTERVAL=5 SERVERS="10.0.0.5,10.0.0.6"): their
// rules and their way into the live INI files. Portable, so that the rules
// are tested on both platforms; the installer's custom action calls it.
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// The properties given on the command line, by name. A property that was not
// given (or given empty, which Windows Installer treats alike) is absent.
using InstallProperties = std::map<std::wstring, std::wstring>;

// Names of the settings properties, in the order they are checked and written.
const std::vector<std::wstring>& InstallPropertyNames();

// One message per bad value, naming the property, the value, what is wrong
// with it where the rule alone does not say it, and the rule; each message is
// one line. Empty when every given value may be written.
std::vector<std::wstring> CheckInstallProperties(const InstallProperties& given);

// What ApplyInstallProperties did, for the installer's log.
struct InstallWrites {
  // The keys given, each with its value as read back: "config.ini Config.Interval=7".
  std::vector<std::wstring> written;
  // Every key that could not be written: "config.ini Config.Interval".
  std::vector<std::wstring> failed;
  // Remarks that stop nothing: "C:\\metrics does not exist yet: ...".
  std::vector<std::wstring> notes;
};

// Writes every given property into the INI files in `directory`. Absent
// properties change nothing, and neither do values that fail the check. A
// key that cannot be written does not stop the others.
InstallWrites ApplyInstallProperties(const std::wstring& directory, const InstallProperties& given);

// The data handed from the checking action to the deferred one: one
// "NAME=value" line per property. Checked values hold no line break.
std::wstring EncodeInstallData(const InstallProperties& properties);
InstallProperties DecodeInstallData(std::wstring_view data);

}  // namespace qv
