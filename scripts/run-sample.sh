#!/usr/bin/env bash
# Builds the filter and prints the bundled sample job: a receipt written as a
# CUPS raster stream, run through the filter as CUPS runs it, with the
# bundled PPD. The printer stream lands in out/sample.prn.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target rastertoKordane make_sample_raster >/dev/null

mkdir -p out
build/make_sample_raster > out/sample.ras
status=0
PPD=samples/kordane-receipt.ppd build/rastertoKordane 1 "${USER:-user}" sample 1 "" \
  < out/sample.ras > out/sample.prn 2> out/sample.log || status=$?

pages=$(grep -c '^TQ4 DEBUG MESG: PAGE:' out/sample.log || true)
echo "sample: $(stat -c %s out/sample.ras) raster bytes, $pages page(s) -> out/sample.prn" \
     "($(stat -c %s out/sample.prn) printer bytes), exit $status, $(tail -n 1 out/sample.log)"
exit $status
