#pragma once
// Helpers for tests that start programs: the fake mailer and process checks.
#include <cstdint>
#include <map>
#include <string>

namespace qv::test {

// Copies the built fake mailer into `directory` under `name`; returns its path.
std::wstring InstallFakeMailer(const std::wstring& directory, const std::wstring& name);

// The key=value lines the fake mailer left in mailer_record.txt in `directory`
// (empty when it did not run).
std::map<std::string, std::string> ReadMailerRecord(const std::wstring& directory);

// True while the process with this id exists and has not ended.
bool ProcessAlive(std::uint32_t pid);

}  // namespace qv::test
