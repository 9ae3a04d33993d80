#!/usr/bin/env bash
# Runs the benchmark of Tarvis against its peers and writes bench/RESULTS.md
# and bench/results.csv.
#   bench/run.sh [--corpus small|gcide|synthetic|all]... [--engines a,b,...]
#                [--synthetic-records N] [--budget-minutes M] [--keep-indexes]
# Default: the small and gcide corpora, then the synthetic one if the time
# spent so far leaves room for it within the budget (30 minutes). Installs
# what it needs from Debian's packages, builds the Tarvis library (build/)
# and the drivers (bench/work/build/), and keeps corpora, indexes and logs in
# bench/work/. Engines: lowerbound xapian fts5-full fts5-none lucene
# lucene-records tarvis-word tarvis-record tarvis-idf tarvis-word-multi
# tarvis-record-multi tarvis-idf-multi (those whose driver built).
set -euo pipefail
cd "$(dirname "$0")/.."
started=$(date +%s)

packages=(cmake g++ ninja-build pkg-config python3 time libxapian-dev libsqlite3-dev
          liblucene++-dev libboost-dev dict-gcide)
need=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  echo "installing: ${need[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${need[@]}"
fi

# The library alone: the benchmark needs neither the tests nor the tools.
if cmake -S . -B build -G Ninja >/dev/null && cmake --build build --target tarvis; then
  :
else
  echo "warning: the Tarvis library did not build; running the peers only" >&2
fi
mkdir -p bench/work
cmake -S bench -B bench/work/build -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DTARVIS_BUILD_DIR="$PWD/build" >bench/work/configure.log ||
  { cat bench/work/configure.log; exit 1; }
grep '^-- bench:' bench/work/configure.log || true
cmake --build bench/work/build

exec /usr/bin/python3 bench/harness.py --started "$started" "$@"
