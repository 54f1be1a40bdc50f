#!/usr/bin/env bash
# Installs what the project needs, builds, and runs every test: the full build
# (Release, warnings as errors; window, end-to-end and package tests included),
# then the non-GUI tests again in a Debug build with clang under
# AddressSanitizer and UndefinedBehaviorSanitizer, with the fuzz targets: their
# seed corpora replayed and a short run of each.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"

bash "$root/scripts/build.sh" "$root/build"
(cd "$root/build" && ctest --output-on-failure --no-tests=error --timeout 900)

bash "$root/scripts/build.sh" "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
  -DCONSOPUNTOS_SANITIZE=ON -DCONSOPUNTOS_FUZZ=ON -DCONSOPUNTOS_GUI=OFF
(cd "$root/build-asan" && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$root/tests/lsan.supp UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure --no-tests=error --timeout 900)
