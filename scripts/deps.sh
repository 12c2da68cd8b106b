#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need. Idempotent and
# quiet when everything is already there.
set -euo pipefail
pkgs=(build-essential cmake pkg-config ccache qtbase5-dev qtbase5-dev-tools
      libgtest-dev libgmock-dev googletest libbenchmark-dev
      clang libclang-rt-14-dev tshark iproute2 python3 lcov)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# Node.js with npm: Debian's packages only when no node/npm is on the machine (a nodejs package
# of another origin bundles npm and conflicts with Debian's).
command -v node >/dev/null || missing+=(nodejs)
command -v npm >/dev/null || missing+=(npm)
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  echo "wireshark-common wireshark-common/install-setuid boolean false" | debconf-set-selections 2>/dev/null || true
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# A third-party client the tests run against the simulator, pinned by tests/node/package-lock.json.
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
if [ ! -d "$here/tests/node/node_modules/st-ethernet-ip" ]; then
  echo "Installing the npm packages of tests/node"
  (cd "$here/tests/node" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
fi
