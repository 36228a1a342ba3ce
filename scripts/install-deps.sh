#!/usr/bin/env bash
# Installs the Debian packages the build needs; with --test also what the
# test suite needs. Does nothing when everything is already there.
set -euo pipefail

packages=(g++ cmake make pkg-config libsndfile1-dev libcairo2-dev libxcb1-dev libpng-dev zenity lv2-dev)
if [[ "${1:-}" == "--test" ]]; then
  packages+=(libgtest-dev libbenchmark-dev xvfb xauth libxcb-xtest0-dev libasan8 libubsan1 libtsan2
    liblilv-dev lilv-utils sordi ardour)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=""
[[ $(id -u) -ne 0 ]] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
