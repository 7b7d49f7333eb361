#!/usr/bin/env bash
# Installs the build into a staging root (DESTDIR, prefix /usr, as the Debian
# package does), then asks a private CUPS scheduler for its driver listing
# (lpinfo -m) and checks that it lists each of the 46 Kordane models once,
# from the staged PPDs.
#
# The scheduler is started by this script with its own configuration, spool,
# cache and log directories in a temporary directory, and listens only on a
# Unix socket there: the system scheduler is never used or changed. Its data
# directory links to the system's CUPS data, except that its model/ directory
# holds the staged PPD directory (the system scheduler reads /usr/share/ppd,
# which a private scheduler cannot be pointed elsewhere for).
#
# Usage: ppd_install_lpinfo_test.sh BUILD_DIR [CMAKE]
set -euo pipefail

build=$(cd "$1" && pwd)
cmake=${2:-cmake}
PATH=$PATH:/usr/sbin:/sbin

for tool in cupsd lpinfo lpstat; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool not found (packages cups-daemon, cups-client)"; exit 1; }
done
serverbin=$(sed -n 's/^KORDANE_CUPS_SERVERBIN:[A-Z]*=//p' "$build/CMakeCache.txt")
[ -n "$serverbin" ] || { echo "FAIL: KORDANE_CUPS_SERVERBIN not in $build/CMakeCache.txt"; exit 1; }

tmp=$(mktemp -d "${TMPDIR:-/tmp}/kordane-lpinfo.XXXXXX")
cupsd_pid=""
cleanup() {
  if [ -n "$cupsd_pid" ]; then
    kill "$cupsd_pid" 2>/dev/null || true
    wait "$cupsd_pid" 2>/dev/null || true
  fi
  rm -rf "$tmp"
}
trap cleanup EXIT
chmod 755 "$tmp"

# The staged install: the filter in CUPS's filter directory, 46 PPDs.
stage=$tmp/stage
DESTDIR=$stage "$cmake" --install "$build" --prefix /usr >/dev/null
filter=$stage$serverbin/filter/rastertoKordane
[ -x "$filter" ] || { echo "FAIL: no executable filter at $filter"; exit 1; }
ppddir=$stage/usr/share/ppd/kordane
staged=$(find "$ppddir" -name '*.ppd' | wc -l)
[ "$staged" -eq 46 ] || { echo "FAIL: $staged PPDs staged in $ppddir, expected 46"; exit 1; }
echo "staged: $filter and $staged PPDs in $ppddir"

# The private scheduler's configuration.
mkdir -p "$tmp"/{conf,spool/tmp,cache,state,log,data/model,data/drv}
for entry in /usr/share/cups/*; do
  case "${entry##*/}" in model | drv) ;; *) ln -s "$entry" "$tmp/data/${entry##*/}" ;; esac
done
ln -s "$ppddir" "$tmp/data/model/kordane"
socket=$tmp/cups.sock
cat >"$tmp/conf/cups-files.conf" <<EOF
ServerRoot $tmp/conf
RequestRoot $tmp/spool
TempDir $tmp/spool/tmp
CacheDir $tmp/cache
StateDir $tmp/state
DataDir $tmp/data
ServerBin $serverbin
ErrorLog $tmp/log/error_log
AccessLog $tmp/log/access_log
PageLog $tmp/log/page_log
Printcap $tmp/printcap
EOF
cat >"$tmp/conf/cupsd.conf" <<EOF
Listen $socket
Browsing No
BrowseLocalProtocols none
DefaultShared No
WebInterface No
LogLevel debug
DefaultAuthType None
<Policy default>
  <Limit All>
    Order allow,deny
    Allow all
  </Limit>
</Policy>
EOF
chmod -R go+rX "$tmp"

cupsd -f -c "$tmp/conf/cupsd.conf" -s "$tmp/conf/cups-files.conf" &
cupsd_pid=$!
for _ in $(seq 1 200); do
  lpstat -h "$socket" -r >/dev/null 2>&1 && break
  kill -0 "$cupsd_pid" 2>/dev/null || { echo "FAIL: cupsd exited"; cat "$tmp/log/error_log" 2>/dev/null; exit 1; }
  sleep 0.05
done
lpstat -h "$socket" -r >/dev/null 2>&1 || { echo "FAIL: cupsd did not start"; tail -20 "$tmp/log/error_log"; exit 1; }

listing=$(lpinfo -h "$socket" -m)
kordane=$(printf '%s\n' "$listing" | grep -E '^kordane/krd[0-9]{3}\.ppd Kordane [0-9]+ ' || true)
printf '%s\n' "$kordane"

# Each supported model exactly once, under its own file.
status=0
for n in 1 6 10 11 13 22 29 30 31 33 35 36 40 41 42 43 52 60 61 63 81 82 83 87 88 90 \
         91 92 96 97 105 110 111 114 115 116 117 134 137 147 152 153 154 156 257 273; do
  file=$(printf 'kordane/krd%03d.ppd' "$n")
  count=$(printf '%s\n' "$kordane" | grep -c "^$file Kordane $n " || true)
  [ "$count" -eq 1 ] || { echo "FAIL: model $n listed $count times"; status=1; }
done
total=$(printf '%s\n' "$kordane" | grep -c . || true)
[ "$total" -eq 46 ] || { echo "FAIL: $total Kordane entries, expected 46"; status=1; }
[ $status -eq 0 ] && echo "PASS: lpinfo -m lists all 46 Kordane models from the staged install"
exit $status
