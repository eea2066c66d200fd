#pragma once
// Every fixed text of Pomvex, byte for byte. The sources are UTF-8.

namespace qv::pomvex::msg {

inline constexpr wchar_t kFatalNoModuleHandle[] = L"致命的なエラー: GetModuleHandle が失敗しました\n";

}  // namespace qv::pomvex::msg
