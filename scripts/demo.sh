#!/usr/bin/env bash
# Installs what the build needs, builds the plug-in, installs it to ~/.vst/
# (VST) and ~/.lv2/ (LV2) and renders a demo through a factory preset with
# the command-line host.
#   scripts/demo.sh [input.wav] [output.wav]
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVH_SANITIZE=OFF -DVH_TESTS=OFF -DVH_BENCH=OFF > /dev/null
cmake --build build -j "$(nproc)" --target VornHalyx VornHalyxLv2 halyx

mkdir -p "$HOME/.vst"
install -m 0755 build/VornHalyx.so "$HOME/.vst/VornHalyx.so"
echo "Installed $HOME/.vst/VornHalyx.so"

# The bundle is replaced whole, so no file of an older build stays behind.
mkdir -p "$HOME/.lv2"
rm -rf "$HOME/.lv2/VornHalyx.lv2"
cp -r build/VornHalyx.lv2 "$HOME/.lv2/VornHalyx.lv2"
echo "Installed $HOME/.lv2/VornHalyx.lv2/"

input=${1:-}
output=${2:-demo.wav}
build/halyx render "$HOME/.vst/VornHalyx.so" ${input:+"$input"} "$output" --preset "${VH_DEMO_PRESET:-0:1}"
echo "Wrote $output"
