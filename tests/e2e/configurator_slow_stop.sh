#!/usr/bin/env bash
# A service that needs longer than the Configurator's 1000 ms wait to stop:
# the start is refused and the failure message shown; the service ends up
# stopped, and the next 登録 only starts it and reports success. Uses the
# test-only stand-in service, whose stop can be slowed down.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/configurator_lib.sh"
cp "$QV_BIN/Configurator.exe" "$QV_BIN/qv_stub_service.exe" "$work/"

remove_service
install_service "$work/qv_stub_service.exe" 1800
check "slow service running" start_service
check "dialog opens" start_configurator

click_at $(probe point 1004)
xdotool key Return
check "failure message: the start came too early" \
  [ "$(probe message 20000 | sed -n 's/^text=//p')" = "[設定の反映に失敗しました。\\n再度実行してください。]" ]
close_message
check "service stopped in the end" wait_for "qv_wine sc query $service | grep -q STOPPED" 10

click_at $(probe point 1004)
xdotool key Return
check "second 登録 succeeds" [ "$(probe message 20000 | sed -n 's/^text=//p')" = "[設定の反映に成功しました。]" ]
close_message
check "service running again" wait_for service_running 5
check "its log shows the stop and both starts" \
  [ "$(log_text "$work/log/log.txt" | sed 's/^stub|-|//' | tr '\n' ' ')" = "サービス開始 サービス停止 サービス開始 " ]
finish
