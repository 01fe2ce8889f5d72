#!/bin/sh
# Builds a client of VokQuote the way a user outside this tree does: installs build/linux into a
# temporary prefix, builds the examples against the install with find_package(VokQuote) (C++20)
# and with pkg-config (C++17 and C), checks the library's names and version, and runs the C++
# example against the installed simulator. Prints what failed; exits non-zero on any failure.
set -u
cd "$(dirname "$0")/.."
build=${1:-build/linux}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
log=$work/log
status=0

fail() {
  echo "   consumer test: $1"
  tail -20 "$log" 2>/dev/null
  status=1
}

cmake --install "$build" --prefix "$prefix" >"$log" 2>&1 || { fail "install failed"; exit 1; }
libdir=$(dirname "$(find "$prefix" -name 'libvokquote.so.*.*.*' | head -1)")
version=$(sed -n 's/^#define VOKQUOTE_VERSION_STRING "\(.*\)"/\1/p' "$prefix/include/vokquote/version.h")
major=${version%%.*}
[ "$(readlink "$libdir/libvokquote.so")" = "libvokquote.so.$major" ] &&
  [ "$(readlink "$libdir/libvokquote.so.$major")" = "libvokquote.so.$version" ] || fail "library names"
objdump -p "$libdir/libvokquote.so.$version" | grep -q "SONAME *libvokquote.so.$major\$" || fail "SONAME"
[ -x "$prefix/bin/vokquote" ] && [ -x "$prefix/bin/vokquote-server" ] || fail "tools not installed"
# vokquote is a client of the installed library: it must find it from its own place.
[ "$("$prefix/bin/vokquote" --version 2>&1)" = "vokquote $version" ] || fail "the installed vokquote does not start"

# find_package, C++20 and C.
cmake -S examples/consumer -B "$work/fp" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release \
  >"$log" 2>&1 && cmake --build "$work/fp" >>"$log" 2>&1 || fail "find_package build"

# pkg-config, C++17 and C; the headers alone as C++17 with every warning.
export PKG_CONFIG_PATH="$libdir/pkgconfig"
[ "$(pkg-config --modversion vokquote)" = "$version" ] || fail "pkg-config version"
flags=$(pkg-config --cflags --libs vokquote)
mkdir -p "$work/pc"
# shellcheck disable=SC2086
{
  printf '#include <vokquote/vokquote.h>\n#include <vokquote/com_ptr.h>\n#include <vokquote/event_sink.h>\n' | c++ -std=c++17 -Wall -Wextra -pedantic -Werror -fsyntax-only -x c++ - $flags &&
    c++ -std=c++17 -Wall -Wextra -Werror examples/quote_client.cpp -o "$work/pc/quote_client" $flags -Wl,-rpath,"$libdir" &&
    cc -std=c11 -Wall -Wextra -pedantic -Werror examples/c_client.c -o "$work/pc/c_client" $flags -Wl,-rpath,"$libdir"
} >"$log" 2>&1 || fail "pkg-config build"

for client in "$work/fp/c_client" "$work/pc/c_client"; do
  "$client" >"$log" 2>&1 || fail "$client"
done
for client in "$work/fp/quote_client" "$work/pc/quote_client"; do
  examples/run_quote_client.sh "$prefix/bin/vokquote-server" "$client" >"$log" 2>&1 || fail "$client printed no quotes"
done
[ $status = 0 ] && echo "   consumer test passed (VokQuote $version)"
exit $status
