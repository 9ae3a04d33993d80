#!/usr/bin/env bash
# Times the tarvis command indexing the gcide corpus with --jobs 1 and
# --jobs 2 and prints a Markdown table of wall time, CPU time (user +
# system) and peak resident memory, the median of REPEATS runs each.
#   bench/tool_jobs.sh [REPEATS]     (default 3)
# The corpus (one record per line, bench/prepare_corpus.py) is cut into 64
# files of whole lines, since the command shares out files, not lines; the
# index is made with --split lines, one record per line as the library
# benchmark makes them, in word mode with the default --memory of 64M.
# Uses the release build in build/ and keeps its work in bench/work/tool/.
set -euo pipefail
cd "$(dirname "$0")/.."
repeats=${1:-3}
tool=$PWD/build/tools/tarvis
work=$PWD/bench/work/tool
corpus=$PWD/bench/work/gcide/tokens.txt
[ -x "$tool" ] || { echo "build the command first (scripts/build.sh)" >&2; exit 1; }
if [ ! -f "$corpus" ]; then
  /usr/bin/python3 bench/prepare_corpus.py gcide bench/work/gcide
fi
mkdir -p "$work"
if [ ! -d "$work/files" ]; then
  mkdir -p "$work/files.new"
  split -n l/64 -d -a 2 "$corpus" "$work/files.new/gcide."
  mv "$work/files.new" "$work/files"
fi
cat "$work"/files/* >/dev/null  # warm the page cache
load_before=$(cut -d' ' -f1-3 /proc/loadavg)

# The runs alternate between the job counts, so that a change in the load
# of a shared machine falls on both alike; the load average is reported.
declare -A rows
for ((r = 0; r < repeats; r++)); do
  for jobs in 1 2; do
    rm -rf "$work/idx" "$work/idx.settings"
    /usr/bin/time -f "%e %U %S %M" -o "$work/time.txt" \
      "$tool" index -q --split lines --jobs "$jobs" "$work/idx" "$work/files"
    read -r wall user sys peak < "$work/time.txt"
    size=$(stat -c %s "$work/idx")
    rows[$jobs]+="$(awk -v w="$wall" -v u="$user" -v s="$sys" -v p="$peak" -v z="$size" \
      'BEGIN { printf "%.2f %.2f %.1f %.1f", w, u + s, p / 1024, z / 1048576 }')"$'\n'
  done
done
rm -rf "$work/idx" "$work/idx.settings"

echo "load average before and after: $load_before / $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "| jobs | wall s | CPU s | CPU / wall | peak MiB | index MiB |"
echo "|---:|---:|---:|---:|---:|---:|"
for jobs in 1 2; do
  # The run of median wall time.
  median=$(printf '%s' "${rows[$jobs]}" | sort -n | sed -n "$(( (repeats + 1) / 2 ))p")
  read -r wall cpu peak size <<< "$median"
  ratio=$(awk -v c="$cpu" -v w="$wall" 'BEGIN { printf "%.2f", c / w }')
  echo "| $jobs | $wall | $cpu | $ratio | $peak | $size |"
  echo "jobs $jobs runs (wall CPU peak size): $(printf '%s' "${rows[$jobs]}" | paste -sd,)" >&2
done
