#!/usr/bin/env bash
# The printer application's web pages in a real browser: starts
# kordane-printer-app on a free loopback port with a state folder of its own,
# adds a two-colour printer (model 42) on the folder device, and has headless
# Chromium load the home page, the printer's page and its printing defaults
# page. The screenshots land in out/app/web/ (KORDANE_OUT_DIR for another
# folder); look at them. Needs the build (scripts/test.sh or
# scripts/run-app-sample.sh) and installs chromium if it is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${KORDANE_BUILD_DIR:-build}
out=${KORDANE_OUT_DIR:-out/app/web}
if ! command -v chromium >/dev/null; then
  echo "installing chromium..."
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get -o DPkg::Lock::Timeout=600 -y -qq install --no-install-recommends chromium >/dev/null
fi
mkdir -p "$out"
out=$(cd "$out" && pwd)
state=$(mktemp -d)
app=$state/kordane-web-app
ln -s "$(cd "$build" && pwd)/kordane-printer-app" "$app"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"$app" server -o state-directory="$state" -o server-port="$port" -o log-file="$state/log" -o log-level=info &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null; rm -rf "$state"' EXIT
until grep -q 'Starting system' "$state/log" 2>/dev/null; do sleep 0.1; done
mkdir -p "$state/receipts"
"$app" add -d counter -m kordane_042 -v "folder://$state/receipts"

for page in "home:" "printer:counter" "defaults:counter/printing"; do
  name=${page%%:*}
  chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --window-size=1024,1400 \
    --screenshot="$out/$name.png" "http://127.0.0.1:$port/${page#*:}" 2>/dev/null
  echo "$out/$name.png"
done
