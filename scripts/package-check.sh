#!/usr/bin/env bash
# Builds the Debian package of a built tree (default build/), checks that it holds the plugin,
# the runner, the simulator, the README and the examples where they belong, unpacks it into a
# temporary root and has the unpacked runner load the unpacked plugin on its own.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
plugin_dir=$(sed -n 's/^AB_EIP_PLUGIN_INSTALL_DIR:[A-Z]*=//p' "$build/CMakeCache.txt")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$build" && cpack -G DEB -B "$work/pkg" >/dev/null)
deb=$(ls "$work"/pkg/*.deb)
dpkg-deb -c "$deb" | awk '{print $6}' >"$work/list"
for path in usr/bin/ab-eip-runner usr/bin/ab-sim "usr/$plugin_dir/libab_eip.so" usr/lib/ab_eip/libzelhost.so \
            usr/share/doc/ab_eip/README.md usr/share/doc/ab_eip/examples/demo.json; do
  grep -qx "./$path" "$work/list" || { echo "package-check: $path is not in $(basename "$deb")"; exit 1; }
done

dpkg-deb -x "$deb" "$work/root"
env -u AB_EIP_PLUGIN "$work/root/usr/bin/ab-eip-runner" --show-schema --item-store "$work/items.json" \
  "$work/root/usr/share/doc/ab_eip/examples/demo.json" >"$work/schema.json" 2>"$work/stderr" || {
  echo "package-check: the unpacked runner failed:"; cat "$work/stderr"; exit 1; }
grep -q '"plugin":"ab_eip"' "$work/schema.json" || { echo "package-check: the unpacked plugin was not loaded"; exit 1; }
echo "package-check: $(basename "$deb") installs and runs"
