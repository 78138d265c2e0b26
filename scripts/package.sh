#!/usr/bin/env bash
# scripts/package.sh: builds KuRoEView and its Debian package,
# build/kuroeview_<version>_<arch>.deb, and prints the package's path.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
source "$top/scripts/setup.sh"
install_missing
cmake -S "$top" -B "$top/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$top/build" -j"$(nproc)" --target kuroeview kuroeview-desktop-files
(cd "$top/build" && cpack -G DEB >/dev/null)
ls "$top"/build/kuroeview_*.deb
