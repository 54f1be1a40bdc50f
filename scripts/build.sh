#!/usr/bin/env bash
# Configures and builds into a build directory: build.sh DIR [cmake options...]
# The project's own builds are the shipped configuration (Release) with
# warnings as errors; later options override these.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1; shift
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCONSOPUNTOS_WERROR=ON "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)"
