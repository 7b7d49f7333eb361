#!/usr/bin/env bash
# The printer application on the bundled sample receipt (samples/receipt.pdf,
# black and red): starts kordane-printer-app with a state folder of its own,
# adds a two-colour printer (model 42) on the folder device, prints the
# receipt in colour as an IPP client would send it (a PWG raster page made
# with Ghostscript) and stops the app. The printer stream and its preview
# picture land in out/app/ as job-NNNN.prn and job-NNNN.png.
#
# KORDANE_BUILD_DIR and KORDANE_OUT_DIR choose other build and output
# directories.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${KORDANE_BUILD_DIR:-build}
out=${KORDANE_OUT_DIR:-out/app}

echo "Checking the packages the build needs..."
bash scripts/install-deps.sh
echo "Building kordane-printer-app..."
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target kordane-printer-app >/dev/null

mkdir -p "$out"
out=$(cd "$out" && pwd)
state=$(mktemp -d)
# Under a name of its own, so that its sub-commands reach this server only.
app=$state/kordane-sample-app
ln -s "$(cd "$build" && pwd)/kordane-printer-app" "$app"
"$app" server -o state-directory="$state" -o log-file="$state/log" -o log-level=info 2>"$state/pages.log" &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null; rm -rf "$state"' EXIT
until grep -q 'Starting system' "$state/log" 2>/dev/null; do sleep 0.1; done

before=$(ls "$out" | grep -c '\.png$' || true)
"$app" add -d receipt -m kordane_042 -v "folder://$out"
gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pwgraster -r203 -dcupsColorSpace=19 -dcupsBitsPerColor=8 \
  -sOutputFile="$state/receipt.pwg" samples/receipt.pdf 2>/dev/null
echo "Printing samples/receipt.pdf in two colours..."
"$app" submit -d receipt -o print-color-mode=color "$state/receipt.pwg" >/dev/null
until [ "$(ls "$out" | grep -c '\.png$' || true)" -gt "$before" ]; do sleep 0.1; done
job=$(ls "$out" | grep '\.png$' | sort | tail -1)
echo "Printer stream: $out/${job%.png}.prn"
echo "Preview:        $out/$job"
