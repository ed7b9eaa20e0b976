#!/usr/bin/env bash
# Installs what the build needs on a fresh Debian machine, and the packages
# named as arguments; does nothing when it is all there already.
set -euo pipefail
need=()
for pkg in cmake g++ make libgtest-dev libgmock-dev libsqlite3-dev sqlite3 libbenchmark-dev "$@"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || need+=("$pkg")
done
if [ ${#need[@]} -gt 0 ]; then
  echo "installing: ${need[*]}" >&2
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${need[@]}"
fi
