#!/usr/bin/env bash
# Sets everything up on a fresh Debian machine and runs the whole test suite,
# once in the normal build and once under AddressSanitizer and
# UndefinedBehaviorSanitizer. The Python package's tests run in the normal
# build only (an instrumented extension needs the sanitizer runtime
# preloaded into the interpreter), with pytest's own report.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
jobs=$(nproc)

scripts/build.sh release
(cd build && ctest --output-on-failure -j "$jobs" --timeout 600 -E '^python$')
if [ ! -x build/python/pytest ]; then
  echo "the Python package was not built (is pybind11 installed?)" >&2
  exit 1
fi
build/python/pytest tests/python

scripts/build.sh asan
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build-asan && ctest --output-on-failure -j "$jobs" --timeout 900)
echo "all tests passed"
