#!/usr/bin/env bash
# Runs each fuzz target for SECONDS, one after the other, on its corpus kept
# in build/compress/fuzz/, and prints executions, speed, coverage and findings.
# Exits non-zero when a target found something (see the file it names).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-}"
if [[ ! "$seconds" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: scripts/fuzz.sh SECONDS" >&2
  exit 2
fi

if [[ ! -f build/build.ninja ]]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DZARNI_FUZZ=ON >/dev/null
fi
cmake --build build --target decode_fuzz roundtrip_fuzz smallest_fuzz >/dev/null
dir=build/compress/fuzz

# CPU seconds used so far by this script's children, into the variable named
# $1; `times` must run in this shell, not in a command substitution.
cpu_seconds() {
  times >"$dir/.times"
  printf -v "$1" '%s' "$(awk 'NR == 2 {
    total = 0
    for (i = 1; i <= 2; ++i) { split($i, t, /[ms]/); total += t[1] * 60 + t[2] }
    printf "%.1f", total
  }' "$dir/.times")"
}

status=0
for target in decode_fuzz roundtrip_fuzz smallest_fuzz; do
  corpus="$dir/corpus_$target"
  log="$dir/$target.log"
  mkdir -p "$corpus"
  touch "$log.start"
  cpu_seconds cpu_before
  started=$(date +%s)
  if ! "build/bin/$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=3072 \
        -print_final_stats=1 -artifact_prefix="$dir/$target-" "$corpus" >"$log" 2>&1; then
    status=1
  fi
  wall=$(($(date +%s) - started))
  cpu_seconds cpu_after
  cpu=$(awk -v a="$cpu_after" -v b="$cpu_before" 'BEGIN { printf "%.1f", a - b }')
  runs=$(awk '/stat::number_of_executed_units/ { print $2 }' "$log")
  rate=$(awk '/stat::average_exec_per_sec/ { print $2 }' "$log")
  coverage=$(grep -o 'cov: [0-9]* ft: [0-9]* corp: [0-9]*' "$log" | tail -n 1)
  findings=$(find "$dir" -maxdepth 1 -name "$target-*" -newer "$log.start" 2>/dev/null | wc -l)
  per_cpu=$(awk -v r="${runs:-0}" -v c="$cpu" 'BEGIN { if (c > 0) printf "%d", r / c; else print "?" }')
  echo "$target: ${runs:-?} executions in ${wall}s, ${rate:-?} exec/s" \
       "(${cpu}s of CPU, $per_cpu exec per CPU second), ${coverage:-no coverage line}," \
       "findings: $findings"
  if ((findings)); then
    find "$dir" -maxdepth 1 -name "$target-*" -newer "$log.start" -printf '  %p\n'
  fi
  rm -f "$log.start"
done
rm -f "$dir/.times"
exit $status
