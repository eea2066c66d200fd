#pragma once
// Files that only SYSTEM and the Administrators may open: mail.ini and the
// Monitor's per-mail copy of it hold the mail server's password, and the
// program folder under Program Files lets every local user read.
#include <string>

namespace qv {

// SYSTEM and Administrators full control, no other entry, nothing inherited.
inline constexpr wchar_t kAdministratorsOnlySddl[] = L"D:PAI(A;;FA;;;SY)(A;;FA;;;BA)";

// Replaces the DACL of an existing file by that one; false when it was not set.
[[nodiscard]] bool RestrictToAdministrators(const std::wstring& path);

// Creates an empty file with that DACL; false when the file exists already or
// cannot be made.
[[nodiscard]] bool CreateAdministratorsOnlyFile(const std::wstring& path);

}  // namespace qv
