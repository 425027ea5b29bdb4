#!/usr/bin/env bash
# Builds the Debian package, installs it on this machine and runs the installed converter on
# the example packet.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target tradulo tradulo-cli tradulo-icons
(cd build/release && cpack -G DEB >/dev/null)
deb=$(ls -t build/release/packages/tradulo_*.deb | head -n 1)
echo "package: $deb"
if [ "$(id -u)" = 0 ]; then
  apt-get install -y -qq "./$deb" >/dev/null
  out=$(mktemp -d)
  /usr/bin/tradulo-cli examples/unidades.xml "$out/unidades.txt"
  size=$(wc -c <"$out/unidades.txt")
  rm -rf "$out"
  [ "$size" = 865 ] || { echo "package: the installed tradulo-cli wrote $size bytes, not 865" >&2; exit 1; }
  test -f /usr/share/applications/tradulo.desktop
  test -f /usr/share/icons/hicolor/48x48/apps/tradulo.png
  echo "package: installed; /usr/bin/tradulo-cli converted the example packet (5 records, 865 bytes)"
else
  echo "package: not root, so not installed"
fi
