#!/usr/bin/env bash
# Installs what the build needs on a fresh Debian machine; does nothing when it
# is all there already. The two README commands need the compiler, CMake,
# SQLite, GoogleTest with GoogleMock and libxml2 (which reads the board
# picture back in its test); "--bench" adds Google Benchmark for
# the benchmarks (a build with -DDSNLINK_BENCH=ON); "--browser" adds headless
# chromium (and python3 when there is none) for the test that draws a board
# page; any other argument names a further Debian package (the fuzz script
# asks for clang this way).
set -euo pipefail
packages=(cmake g++ make libgtest-dev libgmock-dev libsqlite3-dev sqlite3 libxml2-dev)
for arg in "$@"; do
  case "$arg" in
    --bench) packages+=(libbenchmark-dev) ;;
    --browser)
      packages+=(chromium)
      command -v python3 >/dev/null || packages+=(python3)
      ;;
    -*) echo "usage: tools/deps.sh [--bench] [--browser] [PACKAGE...]" >&2; exit 2 ;;
    *) packages+=("$arg") ;;
  esac
done
need=()
for pkg in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || need+=("$pkg")
done
if [ ${#need[@]} -gt 0 ]; then
  echo "installing: ${need[*]}" >&2
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${need[@]}"
fi
