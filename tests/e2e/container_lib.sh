# Shared by the tests that need a running systemd, which this machine's own
# init is not (after lib.sh, as root, in a mount namespace of the test's own).

# Boots Debian's systemd in a container (systemd-nspawn) on a throwaway
# overlay of this machine's root, with a network of its own (loopback only),
# folder $1 at /qvtest and this tree at its own path (both read-only: nspawn
# puts a fresh /tmp over the overlay's); once systemd runs, runs the command
# after it inside. Powers the container off and unmounts it after.
run_in_booted_container() {  # share, command...
  local share=$1; shift
  local c=$QV_E2E_TMP/container nspawn leader=
  mkdir -p "$c/layers" "$c/root"
  mount -t tmpfs tmpfs "$c/layers" && mkdir "$c/layers/upper" "$c/layers/work" &&
    mount -t overlay overlay -o "lowerdir=/,upperdir=$c/layers/upper,workdir=$c/layers/work" "$c/root" ||
    { fail "an overlay of / for the container"; return; }
  # Debian's systems start the services their packages install; this
  # machine's policy (a container image's) forbids it.
  rm -f "$c/root/usr/sbin/policy-rc.d"
  systemd-nspawn -D "$c/root" -M "qv-$$" --register=no --keep-unit --link-journal=no --private-network \
    --bind-ro="$share:/qvtest" --bind-ro="$QV_ROOT" -b -- systemd.unit=basic.target >"$QV_E2E_TMP/boot.log" 2>&1 </dev/null &
  nspawn=$!
  wait_for '[ -n "$(pgrep -P $nspawn)" ]' 20 && leader=$(pgrep -P $nspawn | head -1)
  if [ -n "$leader" ] && wait_for "[ -S /proc/$leader/root/run/systemd/private ]" 30 &&
     [[ "$(timeout 120 nsenter -t "$leader" -m -u -i -n -p -r -w systemctl is-system-running --wait)" =~ running|degraded ]]; then
    # Paths of this side's temporary folder mean nothing inside.
    nsenter -t "$leader" -m -u -i -n -p -r -w env -u QV_UTMP_FILE "$@" || fail "(the checks inside the container)"
  else
    cat "$QV_E2E_TMP/boot.log"; fail "systemd boots in the container"
  fi
  [ -z "$leader" ] || kill -s RTMIN+4 "$leader" 2>/dev/null  # poweroff
  timeout 60 tail --pid=$nspawn -f /dev/null || kill -9 $nspawn
  wait $nspawn 2>/dev/null
  umount "$c/root" "$c/layers"
}
