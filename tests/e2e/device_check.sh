#!/usr/bin/env bash
# The device check of a running Monitor (console mode, DeviceManager=1, a
# cycle every second, ping off): a prefix that matches no device crosses the
# threshold from the second cycle on; a present, healthy device never does.
#
# Natively the device tree is a fake sysfs given to the Monitor through the
# test hook QV_SYSFS_ROOT; under Wine the prefix is checked against Wine's WMI.
source "$(dirname "$0")/lib.sh"

work=$(e2e_tmpdir)
threshold_line='DeviceManagerエラーしきい値を超過'

# prepare DIR HARDWARE: the Monitor and its four INI files in DIR.
prepare() {
  local dir=$1 hardware=$2
  mkdir -p "$dir"
  cp "$QV_BIN/Monitor$QV_EXE" "$dir/"
  printf '[Config]\r\nInterval=0\r\nLogDir=log\r\n[Threshold]\r\nPing=0\r\nDeviceManager=1\r\n' >"$dir/config.ini"
  printf '[Config]\r\nHardware=%s\r\nCount=0\r\n' "$hardware" >"$dir/quorvanex.ini"
  printf '[Config]\r\nMailSend=0\r\n' >"$dir/mail.ini"
  printf '[Config]\r\nPomvex=0\r\n' >"$dir/message.ini"
}

has_threshold_line() { [ -f "$1/log/log.txt" ] && log_text "$1/log/log.txt" | grep -q "$threshold_line"; }
cycles_logged() { if [ -f "$1/log/log.txt" ]; then log_text "$1/log/log.txt" | grep -c "$threshold_line"; else echo 0; fi; }

# run_monitor DIR SECONDS [STOP-WHEN]: runs the Monitor in console mode until
# STOP-WHEN holds or SECONDS pass, then presses Enter (ends its standard input).
run_monitor() {
  local dir=$1 seconds=$2 stop_when=${3:-false}
  mkfifo "$dir/stdin"
  (cd "$dir" && run_program "$dir/Monitor$QV_EXE" console) <"$dir/stdin" >"$dir/stdout" 2>&1 &
  local pid=$!
  exec 3>"$dir/stdin"
  wait_for "$stop_when" "$seconds" || true
  exec 3>&-
  local i=0
  while kill -0 "$pid" 2>/dev/null && [ $i -lt 300 ]; do sleep 0.1; i=$((i + 1)); done
  if kill -0 "$pid" 2>/dev/null; then
    fail "Monitor in $dir did not stop after Enter"
    kill "$pid" 2>/dev/null
  fi
  wait "$pid" 2>/dev/null
}

# No device matches: counted every cycle, logged from the second on.
prepare "$work/none" 'QV\NO\SUCH\DEVICE'
run_monitor "$work/none" 30 "has_threshold_line '$work/none'"
check "no matching device: threshold line logged" has_threshold_line "$work/none"

if [ "$QV_PLATFORM" = posix ]; then
  # A fake device tree: one healthy network adapter, one without a driver.
  sysfs=$work/sysfs
  mkdir -p "$sysfs/bus/pci/devices/0000:00:1f.6" "$sysfs/bus/pci/devices/0000:03:00.0" \
           "$sysfs/bus/pci/drivers/e1000e"
  for d in 0000:00:1f.6 0000:03:00.0; do
    printf '0x8086\n' >"$sysfs/bus/pci/devices/$d/vendor"
    printf '0x1043\n' >"$sysfs/bus/pci/devices/$d/subsystem_vendor"
    printf '0x8672\n' >"$sysfs/bus/pci/devices/$d/subsystem_device"
    printf '0x10\n' >"$sysfs/bus/pci/devices/$d/revision"
  done
  printf '0x15bc\n' >"$sysfs/bus/pci/devices/0000:00:1f.6/device"
  printf '0x1533\n' >"$sysfs/bus/pci/devices/0000:03:00.0/device"
  ln -s ../../drivers/e1000e "$sysfs/bus/pci/devices/0000:00:1f.6/driver"
  export QV_SYSFS_ROOT=$sysfs

  # The control: a present device in the state "Error" is counted.
  prepare "$work/error" 'PCI\VEN_8086&DEV_1533'
  run_monitor "$work/error" 30 "has_threshold_line '$work/error'"
  check "device without a driver: threshold line logged" has_threshold_line "$work/error"

  # Healthy, with the prefix written as an administrator writes it (one
  # backslash, an underscore as in every hardware id): never logged.
  prepare "$work/healthy" 'PCI\VEN_8086&DEV_15BC&SUBSYS_86721043'
  run_monitor "$work/healthy" 5
  check "healthy device: the Monitor ran and logged" test -s "$work/healthy/log/log.txt"
  check "healthy device: no threshold line" test "$(cycles_logged "$work/healthy")" = 0
fi

finish
