#!/bin/sh
# Installs the Debian packages the build and the tests need, when some are missing and we are root.
# Wine's recommended packages would pull in 32-bit multiarch, which nothing here needs.
set -e
PACKAGES="g++ cmake ninja-build ccache libgtest-dev libgmock-dev libbenchmark-dev libssl-dev clang
libclang-rt-14-dev g++-mingw-w64-x86-64 g++-mingw-w64-i686 mingw-w64-tools wine wine64 libwine-dev"
missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" != 0 ]; then
  echo "missing Debian packages:$missing (run 'make test' as root, or: sudo apt-get install -y --no-install-recommends$missing)" >&2
  exit 1
fi
echo "installing:$missing"
apt-get update -q
DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
