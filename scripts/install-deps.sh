#!/bin/sh
# Installs the Debian packages a make target needs, when some are missing and we are root; says
# nothing when all are there. The argument names what is about to run:
#   build  the Linux library, tools, tests, benchmarks and the Python package (make, make demo,
#          make bench)
#   fuzz   build + clang and its fuzzing runtime (make fuzz)
#   test   everything make test runs: fuzz + the Windows cross compilers, Wine, pkg-config for the
#          install test, clang-format
# Wine's recommended packages would pull in 32-bit multiarch, which nothing here needs.
set -e
BUILD="g++ cmake ninja-build ccache libgtest-dev libgmock-dev libbenchmark-dev libssl-dev libcli11-dev
pybind11-dev python3-dev python3-pytest"
FUZZ="$BUILD clang libclang-rt-14-dev"
TEST="$FUZZ pkg-config clang-format-14 g++-mingw-w64-x86-64 g++-mingw-w64-i686 mingw-w64-tools wine wine64
libwine-dev"
case "${1:-test}" in
  build) PACKAGES=$BUILD ;;
  fuzz) PACKAGES=$FUZZ ;;
  test) PACKAGES=$TEST ;;
  *) echo "usage: $0 [build|fuzz|test]" >&2; exit 2 ;;
esac
missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" != 0 ]; then
  echo "missing Debian packages:$missing (run as root, or: sudo apt-get install -y --no-install-recommends$missing)" >&2
  exit 1
fi
echo "installing:$missing"
apt-get update -q
DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
