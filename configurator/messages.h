#pragma once
// The fixed texts the Configurator shows, byte for byte (sources are UTF-8).
// The dialog templates carry their own texts in Configurator.rc.

namespace qv::msg {

inline constexpr wchar_t kApplySucceeded[] = L"設定の反映に成功しました。";
inline constexpr wchar_t kApplyFailed[] = L"設定の反映に失敗しました。\n再度実行してください。";
inline constexpr wchar_t kResultTitle[] = L"";

inline constexpr wchar_t kColumnName[] = L"名前";
inline constexpr wchar_t kColumnAddress[] = L"IPアドレス";

inline constexpr const wchar_t* kMailItems[] = {
    L"メール送信行わない", L"1回", L"2回", L"3回", L"4回", L"5回",  L"6回",
    L"7回",                L"8回", L"9回", L"10回", L"メール送信をし続ける",
};

}  // namespace qv::msg
