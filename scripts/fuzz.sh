#!/usr/bin/env bash
# Runs each fuzz target for SECONDS, one after the other, on its corpus kept
# in build/compress/fuzz/, and prints executions, speed, coverage and findings.
# Each target runs one worker per core (FUZZ_WORKERS overrides the count); the
# workers share the corpus and pick up what the others add. Exits non-zero
# when a target found something (see the file it names).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-}"
if [[ ! "$seconds" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: [FUZZ_WORKERS=N] scripts/fuzz.sh SECONDS" >&2
  exit 2
fi
workers="${FUZZ_WORKERS:-$(nproc)}"
if [[ ! "$workers" =~ ^[1-9][0-9]*$ ]]; then
  echo "FUZZ_WORKERS must be a positive number, not '$workers'" >&2
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
  mkdir -p "$corpus"
  rm -f "$dir/$target".*.log
  touch "$dir/$target.start"
  cpu_seconds cpu_before
  started=$(date +%s)
  pids=()
  for ((w = 1; w <= workers; ++w)); do
    "build/bin/$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=3072 \
      -print_final_stats=1 -artifact_prefix="$dir/$target-" "$corpus" \
      >"$dir/$target.$w.log" 2>&1 &
    pids+=($!)
  done
  for pid in "${pids[@]}"; do
    wait "$pid" || status=1
  done
  wall=$(($(date +%s) - started))
  cpu_seconds cpu_after
  logs=("$dir/$target".*.log)
  cpu=$(awk -v a="$cpu_after" -v b="$cpu_before" 'BEGIN { printf "%.1f", a - b }')
  runs=$(awk '/stat::number_of_executed_units/ { n += $2 } END { print n + 0 }' "${logs[@]}")
  rate=$(awk -v r="$runs" -v w="$wall" 'BEGIN { if (w > 0) printf "%d", r / w; else print "?" }')
  each=$(awk '/stat::average_exec_per_sec/ { printf "%s%s", sep, $2; sep = ", " }' "${logs[@]}")
  # The worker that reached the most features; they share the corpus.
  coverage=$(grep -ho 'cov: [0-9]* ft: [0-9]* corp: [0-9]*' "${logs[@]}" |
             sort -t' ' -k4,4n | tail -n 1)
  findings=$(find "$dir" -maxdepth 1 -name "$target-*" -newer "$dir/$target.start" | wc -l)
  per_cpu=$(awk -v r="$runs" -v c="$cpu" 'BEGIN { if (c > 0) printf "%d", r / c; else print "?" }')
  echo "$target: $runs executions in ${wall}s by $workers worker(s), $rate exec/s" \
       "(each worker ${each:-?}; ${cpu}s of CPU, $per_cpu exec per CPU second)," \
       "${coverage:-no coverage line}, findings: $findings"
  if ((findings)); then
    find "$dir" -maxdepth 1 -name "$target-*" -newer "$dir/$target.start" -printf '  %p\n'
  fi
  rm -f "$dir/$target.start"
done
rm -f "$dir/.times"
exit $status
