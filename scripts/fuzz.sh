#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (AddressSanitizer and UndefinedBehaviorSanitizer)
# into build-fuzz/ (or $ORVEL_FUZZ_BUILD_DIR) and runs each for SECONDS (60 by default), one after
# another. Each starts from its seeds (fuzz/seeds/TARGET), the inputs that ever crashed
# (fuzz/regressions/TARGET) and what earlier runs found (BUILD/corpus/TARGET). A crashing input
# is written to BUILD/findings/TARGET/; once the fault is fixed, keep it in fuzz/regressions/TARGET/,
# where the normal test run replays it. The last lines sum up executions and findings per target.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${ORVEL_FUZZ_BUILD_DIR:-$top/build-fuzz}
seconds=${1:-60}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(xml_document display_format row_format tsql_split tsql_batch tsql_plus codepages param_sql
    element_names server_browse)
fi

launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DORVEL_FUZZ=ON \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" "${launcher[@]}" >/dev/null
cmake --build "$build" --target orvel_fuzz_targets -j"$(nproc)"

export LC_ALL=pl_PL.UTF-8 LANG=pl_PL.UTF-8
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
summary=()
for t in "${targets[@]}"; do
  corpus=$build/corpus/$t
  findings=$build/findings/$t
  log=$build/logs/$t.log
  mkdir -p "$corpus" "$findings" "$(dirname "$log")"
  echo "== $t: ${seconds}s"
  # Findings of this run only: inputs kept from an earlier run are not counted again.
  started=$build/logs/$t.started
  touch "$started"
  set +e
  "$build/fuzz/fuzz_$t" "$corpus" "$top/fuzz/seeds/$t" "$top/fuzz/regressions/$t" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
    -artifact_prefix="$findings/" -print_final_stats=1 >"$log" 2>&1
  status=$?
  set -e
  runs=$(grep -a 'stat::number_of_executed_units' "$log" | awk '{print $2}' | tail -n 1)
  found=$(find "$findings" -type f -newer "$started" | wc -l)
  summary+=("$(printf '%-16s executions %-10s findings %-3s exit %s' "$t" "${runs:-?}" "$found" "$status")")
  tail -n 3 "$log"
done
echo
echo "== summary (${seconds}s each; logs in $build/logs, crashing inputs in $build/findings)"
printf '%s\n' "${summary[@]}"
