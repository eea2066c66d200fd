#!/usr/bin/env bash
# The Debian package as CPack builds it: contents and layout, the INI files
# as conffiles, the maintainer scripts, and a systemd unit that systemd
# accepts and that keeps only CAP_NET_RAW.
source "$(dirname "$0")/../../tests/e2e/lib.sh"
[ "$QV_PLATFORM" = posix ] || skip "Linux package only"
command -v dpkg-deb >/dev/null || skip "dpkg-deb missing"
tmp=$(mktemp -d "${TMPDIR:-/tmp}/qv-e2e.XXXXXX")
trap 'rm -rf "$tmp" "${QV_E2E_TMP:-}"' EXIT

cpack -G DEB --config "$QV_BUILD/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1 ||
  { cat "$tmp/cpack.log"; fail "cpack -G DEB"; finish; }
deb=$(ls "$tmp"/out/*.deb)
echo "package: ${deb##*/}"
contents=$(dpkg-deb -c "$deb")
has() { grep -qE "$1" <<<"$contents"; }
check "Monitor in /opt/quorvanex, executable" has '^-rwxr-xr-x .* \./opt/quorvanex/Monitor$'
check "unit in /lib/systemd/system" has ' \./lib/systemd/system/quorvanexdevicechecker\.service$'
check "log directory beside the Monitor" has '^d.* \./opt/quorvanex/log/$'
for f in prometheus.yml quorvanex-rules.yml; do
  check "Prometheus example $f" has " \./usr/share/doc/quorvanexdevicechecker/examples/prometheus/$f\$"
done
for ini in config quorvanex mail message; do
  check "$ini.ini in /etc/quorvanex" has "^-rw-r--r-- .* \./etc/quorvanex/$ini\.ini\$"
  check "$ini.ini linked beside the Monitor" has "^l.* \./opt/quorvanex/$ini\.ini -> /etc/quorvanex/$ini\.ini\$"
done

mkdir "$tmp/control"
dpkg-deb -e "$deb" "$tmp/control"
check "the four INI files are conffiles" \
  diff <(sort "$tmp/control/conffiles") <(printf '/etc/quorvanex/%s.ini\n' config mail message quorvanex)
for script in postinst prerm postrm; do
  check "$script is executable shell" bash -c "test -x '$tmp/control/$script' && sh -n '$tmp/control/$script'"
done
check "package depends on the C++ runtime" grep -q '^Depends:.*libstdc++6' "$tmp/control/control"

# The unit as installed, read back by systemd against the package's tree.
root=$tmp/root
dpkg-deb -x "$deb" "$root"
unit=$root/lib/systemd/system/quorvanexdevicechecker.service
key() { sed -n "s/^$1=//p" "$unit"; }
check "Type=notify" test "$(key Type)" = notify
check "ExecStart is the Monitor without argument" test "$(key ExecStart)" = /opt/quorvanex/Monitor
check "pings need CAP_NET_RAW only" \
  test "$(key AmbientCapabilities)/$(key CapabilityBoundingSet)" = CAP_NET_RAW/CAP_NET_RAW
check "Restart=on-failure" test "$(key Restart)" = on-failure
check "not root" test "$(key User)" = quorvanex
check "hardened" test "$(key ProtectSystem)/$(key PrivateTmp)/$(key NoNewPrivileges)" = strict/yes/yes
check "the log directory stays writable" grep -qx 'ReadWritePaths=/opt/quorvanex' "$unit"
if systemd-analyze verify --help 2>/dev/null | grep -q -- '--root' && [ -f /lib/systemd/system/sysinit.target ]; then
  # The targets the unit is ordered against, from this system.
  cp -n /lib/systemd/system/*.target /lib/systemd/system/*.slice "$root/lib/systemd/system/" 2>/dev/null
  check "systemd-analyze verify accepts the unit" \
    systemd-analyze verify --root="$root" /lib/systemd/system/quorvanexdevicechecker.service
  systemd-analyze security --offline=yes --root="$root" /lib/systemd/system/quorvanexdevicechecker.service \
    2>/dev/null | grep -i 'overall exposure' || true
else
  echo "note: systemd-analyze without --root; unit not verified by systemd"
fi
finish
