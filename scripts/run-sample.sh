#!/usr/bin/env bash
# Prints the bundled sample receipt (samples/receipt.pdf, black and red) as a
# real job: CUPS's own filter chain (pdftopdf, gstoraster) renders it for a
# two-colour printer (model 42, its PPD generated from ppd/kordane.drv) and
# hands the raster to the built filter, exactly as a print queue would. The
# printer stream and its preview picture land in out/.
#
# Needs no scheduler: cupsfilter runs the chain with a private ServerBin
# holding the system's filters and this one. KORDANE_BUILD_DIR and
# KORDANE_OUT_DIR choose other build and output directories.
set -euo pipefail
cd "$(dirname "$0")/.."
# cupsfilter and ppdc live in sbin, which a user's PATH often lacks.
export PATH="$PATH:/usr/sbin:/sbin"

build=${KORDANE_BUILD_DIR:-build}
out=${KORDANE_OUT_DIR:-out}
model=${KORDANE_SAMPLE_MODEL:-42}

echo "checking the packages the sample needs..."
bash scripts/install-deps.sh
echo "building the filter, the preview tool and the PPDs in $build/ (a minute or so the first time)..."
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target rastertoKordane kordane_preview kordane_ppds >/dev/null

mkdir -p "$out"
outAbs=$(cd "$out" && pwd)

# The model's PPD: from the build tree, or compiled here from the driver file.
ppd=$(printf '%s/ppd/krd%03d.ppd' "$build" "$model")
if [ ! -f "$ppd" ]; then
  cmake --build "$build" --target kordane_ppds >/dev/null 2>&1 || true
fi
if [ ! -f "$ppd" ]; then
  mkdir -p "$out/ppd"
  ppdc -D KORDANE_VERSION=sample -d "$out/ppd" ppd/kordane.drv
  ppd=$(printf '%s/ppd/krd%03d.ppd' "$out" "$model")
fi

# A private ServerBin: the system's filters and backends, plus this filter.
serverbin=$outAbs/serverbin
system=$(cups-config --serverbin)
rm -rf "$serverbin"
mkdir -p "$serverbin/filter"
for d in backend cgi-bin daemon driver monitor notifier; do
  [ -e "$system/$d" ] && ln -s "$system/$d" "$serverbin/$d"
done
ln -s "$system"/filter/* "$serverbin/filter/"
cp "$build/rastertoKordane" "$serverbin/filter/rastertoKordane"
printf 'ServerBin %s\nDataDir /usr/share/cups\n' "$serverbin" > "$out/cups-files.conf"

echo "printing samples/receipt.pdf through CUPS's filter chain..."
status=0
cupsfilter -c "$out/cups-files.conf" -p "$ppd" -m printer/kordane -e -o ColorModel=0 \
  samples/receipt.pdf > "$out/receipt.prn" 2> "$out/receipt.log" || status=$?
if [ $status -ne 0 ] || [ ! -s "$out/receipt.prn" ]; then
  echo "the CUPS filter chain failed (status $status); its log is $out/receipt.log" >&2
  tail -n 5 "$out/receipt.log" >&2
  exit 1
fi
"$build/kordane_preview" -q -o "$out/receipt.png" "$out/receipt.prn" 2> "$out/preview.log" || status=$?

echo "sample receipt, model $model, two colours, through pdftopdf, gstoraster and rastertoKordane:"
echo "  printer stream: $out/receipt.prn ($(stat -c %s "$out/receipt.prn") bytes; trace: $build/kordane_preview $out/receipt.prn)"
echo "  preview:        $out/receipt.png ($(sed -n 's/.*picture \([0-9]* x [0-9]*\).*/\1/p' "$out/preview.log") pixels)"
echo "  job log:        $out/receipt.log (filter: $(grep -E '^(INFO|ERROR): (Ready|No pages)' "$out/receipt.log" | tail -n 1))"
exit $status
