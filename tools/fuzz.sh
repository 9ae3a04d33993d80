#!/usr/bin/env bash
# Runs the fuzz targets of tests/fuzz/ under libFuzzer, each for a given
# number of seconds, and reports each one's executions per second, coverage
# and findings.
#
#   tools/fuzz.sh SECONDS [TARGET...]     (all targets when none is named)
#   FUZZ_JOBS=2 tools/fuzz.sh 600         (two targets at a time)
#
# Installs clang and its libFuzzer runtime with apt-get when they are
# missing, builds the targets with AddressSanitizer and
# UndefinedBehaviorSanitizer in build-fuzz/, and works in build-fuzz/work/:
# per target a corpus of the inputs found (the committed seeds in
# tests/fuzz/corpus/ are read, never written), the log, and any crashing,
# leaking or slow input (crash-*, leak-*, timeout-*, oom-*). Exits 1 when a
# target found something.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
  echo "usage: tools/fuzz.sh SECONDS [TARGET...]" >&2
  exit 2
}
[[ $# -ge 1 && $1 =~ ^[0-9]+$ ]] || usage
seconds=$1
shift
if [[ $# -gt 0 ]]; then
  targets=("$@")
else
  targets=()
  for source in tests/fuzz/*_fuzz.cc; do
    name=$(basename "$source" _fuzz.cc)
    targets+=("$name")
  done
fi
for target in "${targets[@]}"; do
  [[ -f tests/fuzz/${target}_fuzz.cc ]] || {
    echo "no fuzz target '$target'" >&2
    usage
  }
done

missing=()
command -v clang++ >/dev/null 2>&1 || missing+=(clang)
compgen -G "/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" \
  >/dev/null || missing+=(libclang-rt-14-dev)
command -v cmake >/dev/null 2>&1 || missing+=(cmake)
command -v ninja >/dev/null 2>&1 || missing+=(ninja-build)
[[ -f /usr/include/gtest/gtest.h ]] || missing+=(libgtest-dev)
if [[ ${#missing[@]} -gt 0 ]]; then
  echo "installing ${missing[*]}" >&2
  apt-get update >/dev/null
  DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}" >/dev/null
fi

# Warnings stay warnings here: the warning-free rule is kept by the g++
# builds, and clang knows a few more.
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVIS_SANITIZE=ON -DTARVIS_FUZZ=ON \
  -DTARVIS_WERROR=OFF -DTARVIS_BUILD_TOOLS=OFF >/dev/null
build_targets=()
for target in "${targets[@]}"; do build_targets+=("fuzz_$target"); done
mkdir -p build-fuzz/work
if ! cmake --build build-fuzz --target "${build_targets[@]}" \
    -- -j"${FUZZ_BUILD_JOBS:-2}" >build-fuzz/work/build.log 2>&1; then
  grep -E "error|FAILED" build-fuzz/work/build.log | head -20 >&2
  echo "building the fuzz targets failed (build-fuzz/work/build.log)" >&2
  exit 1
fi

work=build-fuzz/work
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

# Runs one target and prints its summary line.
run_target() {
  local target=$1
  local dir=$work/$target
  mkdir -p "$dir/corpus"
  local status=0
  build-fuzz/tests/fuzz/fuzz_"$target" -max_total_time="$seconds" \
    -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$dir/" "$dir/corpus" "tests/fuzz/corpus/$target" \
    >"$dir/log" 2>&1 || status=$?
  local runs execs cov features
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log" | tail -1)
  execs=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$dir/log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$dir/log" | tail -1 | cut -d' ' -f2)
  features=$(grep -o 'ft: [0-9]*' "$dir/log" | tail -1 | cut -d' ' -f2)
  local verdict=clean
  [[ $status -eq 0 ]] || verdict="FOUND (exit $status; see $dir/log)"
  printf '%-13s %6ss %10s runs %7s exec/s  cov %6s  ft %6s  corpus %5s  %s\n' \
    "$target" "$seconds" "${runs:-?}" "${execs:-?}" "${cov:-?}" \
    "${features:-?}" "$(ls "$dir/corpus" | wc -l)" "$verdict"
  [[ $status -eq 0 ]]
}

jobs=${FUZZ_JOBS:-1}
failed=0
running=0
for target in "${targets[@]}"; do
  if [[ $running -ge $jobs ]]; then
    wait -n || failed=1
    running=$((running - 1))
  fi
  run_target "$target" &
  running=$((running + 1))
done
while [[ $running -gt 0 ]]; do
  wait -n || failed=1
  running=$((running - 1))
done
exit $failed
