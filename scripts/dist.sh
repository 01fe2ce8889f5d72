#!/bin/sh
# make dist: builds the release DLLs (presets win64 and win32: optimised, stripped) and writes
# dist/vokquote-<version>-windows.zip with x64/ and x86/ (each DLL with its type library), the
# examples and README-windows.md. The version is the project's one version.
set -eu
cd "$(dirname "$0")/.."
version=$(sed -n 's/^project(VokQuote VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "dist: no project version in CMakeLists.txt"; exit 1; }
name=vokquote-$version-windows
jobs=${JOBS:-2}

for preset in win64 win32; do
  echo "== build $preset (release)"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs" --target VokQuote vok_typelib
done

stage=build/dist/$name
rm -rf "$stage"
mkdir -p "$stage/x64" "$stage/x86" "$stage/examples" dist
for pair in win64:x64 win32:x86; do
  preset=${pair%%:*}
  folder=${pair#*:}
  cp "build/$preset/src/service/library/VokQuote.dll" "build/$preset/src/records/VokQuote.tlb" "$stage/$folder/"
done
cp examples/quote_client.vbs examples/QuoteSheet.bas examples/QuoteSink.cls "$stage/examples/"
cp README-windows.md "$stage/"

rm -f "dist/$name.zip"
(cd build/dist && cmake -E tar cf "../../dist/$name.zip" --format=zip "$name")
echo "== dist/$name.zip"
(cd build/dist && find "$name" -type f | sort | while read -r f; do printf '%10s  %s\n' "$(wc -c <"$f")" "$f"; done)
