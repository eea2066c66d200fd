#!/usr/bin/env bash
# A service that needs longer than the Configurator's first 1000 ms wait to
# stop: 登録 goes on waiting until it has stopped, then starts it and reports
# success. Uses the test-only stand-in service, whose stop can be slowed down.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/configurator_lib.sh"
cp "$QV_BIN/Configurator.exe" "$QV_BIN/qv_stub_service.exe" "$work/"

remove_service
install_service "$work/qv_stub_service.exe" 1800
check "slow service running" start_service
check "dialog opens" start_configurator

click_at $(probe point 1004)
pressed=$(now_ms)
xdotool key Return
message=$(probe message 120000 | sed -n 's/^text=//p')
took=$(( $(now_ms) - pressed ))
echo "NOTE: 登録 with a service that needs 1.8 s to stop: message after $took ms"
check "success: the start waited for the stop" [ "$message" = "[設定の反映に成功しました。]" ]
# 1.8 s to stop, then the wait after the start.
check "the message came after the stop and the start ($took ms)" [ "$took" -ge 2800 ]
close_message
check "service running again" wait_for service_running 5
check "its log shows the start, the stop and the new start" \
  [ "$(log_text "$work/log/log.txt" | sed 's/^stub|-|//' | tr '\n' ' ')" = "サービス開始 サービス停止 サービス開始 " ]
finish
