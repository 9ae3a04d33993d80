#!/usr/bin/env bash
# Configures and builds one configuration of Tarvis.
#   scripts/build.sh [release|asan]   (default: release)
# The release build goes to build/, the sanitizer build to build-asan/.
set -euo pipefail
cd "$(dirname "$0")/.."

config=${1:-release}
case "$config" in
  release) dir=build; flags=() ;;
  asan) dir=build-asan; flags=(-DTARVIS_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug) ;;
  *) echo "usage: $0 [release|asan]" >&2; exit 2 ;;
esac

cmake -S . -B "$dir" -G Ninja "${flags[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
