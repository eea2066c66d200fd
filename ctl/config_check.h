#pragma once
// What `quorvanexctl check` looks at: the settings the Monitor would start
// with, read by the Monitor's own code, and every finding in the INI files
// and on the machine that would make the Monitor do something other than
// what the files seem to say.
#include <optional>
#include <string>
#include <vector>

#include "monitor/settings.h"

namespace qv {

struct ConfigFinding {
  std::wstring file;     // "config.ini"
  std::wstring section;  // empty: about the whole file
  std::wstring key;      // empty: about the whole section
  std::optional<std::wstring> value;  // shown quoted after the key
  std::wstring message;
};

// One line: `config.ini [Threshold] Ping="two": not a plain decimal; ...`.
std::wstring FormatFinding(const ConfigFinding& finding);

// The machine facts the check cannot read from the files.
struct CheckMachine {
  // Why this account cannot ping; nothing when it can.
  std::optional<std::wstring> pingRefusal;
};

struct ConfigCheck {
  MonitorSettings settings;
  std::wstring hardware;  // [Config] Hardware as written, backslashes single
  std::vector<ConfigFinding> findings;
  bool unreadable = false;  // a file is there but could not be read
};

ConfigCheck CheckConfiguration(const std::wstring& directory, const CheckMachine& machine);

// The nearest of `candidates` to `name` (compared without case) when it
// differs in at most two characters; empty otherwise.
std::wstring NearestName(std::wstring_view name, const std::vector<std::wstring>& candidates);

}  // namespace qv
