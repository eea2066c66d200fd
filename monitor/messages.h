#pragma once
// Every fixed text of the Monitor, byte for byte. The sources are UTF-8.

namespace qv::msg {

inline constexpr wchar_t kFatalNoModuleHandle[] = L"致命的なエラー: GetModuleHandle が失敗しました\n";
// Another Monitor holds the program folder: this one starts nothing.
inline constexpr wchar_t kFatalAlreadyRunning[] = L"致命的なエラー: このフォルダの Monitor は既に動作しています\n";

inline constexpr wchar_t kConsoleStart[] = L"開始";
inline constexpr wchar_t kConsoleStop[] = L"停止";
inline constexpr wchar_t kServiceStart[] = L"サービス開始";
inline constexpr wchar_t kServiceStop[] = L"サービス停止";
inline constexpr wchar_t kMonitoringStart[] = L"エラーカウント監視開始";

inline constexpr wchar_t kDeviceThresholdExceeded[] = L"DeviceManagerエラーしきい値を超過";
inline constexpr wchar_t kPingThresholdExceeded[] = L"Pingエラーしきい値を超過";
inline constexpr wchar_t kScreenAlertDevice[] = L"メッセージ表示device";
inline constexpr wchar_t kScreenAlertPing[] = L"メッセージ表示ping";
inline constexpr wchar_t kMailSent[] = L"メール送信 成功:%s";
inline constexpr wchar_t kMailFailed[] = L"メール送信 失敗:%s";

// The metrics file could not be replaced; logged once until a write succeeds.
inline constexpr wchar_t kMetricsWriteFailed[] = L"メトリクス書込 失敗:%s";
// On standard error, once, when the log file cannot be written.
inline constexpr wchar_t kLogUnwritable[] = L"ログを書き込めません:%s\n";
// On standard error at stop, when log lines could not be written.
inline constexpr wchar_t kLogLinesLost[] = L"ログに書けなかった %d 行を破棄しました: %s\n";

}  // namespace qv::msg
