#!/usr/bin/env bash
# Usage: fuzz.sh [SECONDS|replay] [TARGET...]
# Builds the libFuzzer targets of fuzz/ with clang and the sanitizers into build-fuzz/ (or
# $KESTROVA_FUZZ_BUILD_DIR).
#   fuzz.sh SECONDS  searches: runs each named target (by default all) for SECONDS (default 60)
#                    from a fresh copy of its corpus, with a fresh seed; the input that fails
#                    is kept under <build dir>/fuzz/runs/<target>/artifacts/.
#   fuzz.sh replay   runs every input of every corpus once through its target and searches
#                    nothing: the same inputs every time, so the same verdict on the same
#                    commit (the test command runs this).
# Exits non-zero when any target crashes, leaks, hangs or reports undefined behaviour.
set -euo pipefail
cd "$(dirname "$0")/.."

all_targets=(html_tables table_grids charset ini_file race_keys)
default_targets=(html_tables table_grids charset ini_file race_keys)

seconds="${1:-60}"
if ! [[ "$seconds" =~ ^([1-9][0-9]*|replay)$ ]]; then
  echo "usage: $0 [SECONDS|replay] [TARGET...]  (targets: ${all_targets[*]})" >&2
  exit 2
fi
shift $(($# > 0 ? 1 : 0))
targets=("$@")
if ((${#targets[@]} == 0)); then
  targets=("${default_targets[@]}")
fi
for target in "${targets[@]}"; do
  if [[ " ${all_targets[*]} " != *" $target "* ]]; then
    echo "unknown target: $target (targets: ${all_targets[*]})" >&2
    exit 2
  fi
done
build_dir="${KESTROVA_FUZZ_BUILD_DIR:-build-fuzz}"

cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DKESTROVA_FUZZ=ON >/dev/null
# Two jobs at most: the machine is shared with other builds.
cmake --build "$build_dir" -j 2 --target "${all_targets[@]/#/fuzz_}"

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:check_initialization_order=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"

out="$(cd "$build_dir" && pwd)/fuzz/runs"
# The settings file target writes and syncs a file per run: on tmpfs that costs next to nothing.
tmp_parent=/dev/shm
[ -d "$tmp_parent" ] && [ -w "$tmp_parent" ] || tmp_parent="${TMPDIR:-/tmp}"
tmp_root="$(mktemp -d "$tmp_parent/kestrova-fuzz.XXXXXX")"
trap 'rm -rf "$tmp_root"' EXIT
failed=()
for target in "${targets[@]}"; do
  artifacts="$out/$target/artifacts"
  log="$out/$target/fuzz.log"
  mkdir -p "$artifacts" "$tmp_root/$target"
  status=0
  if [ "$seconds" = replay ]; then
    # Files, not a folder: libFuzzer runs each once and mutates nothing.
    inputs=(fuzz/corpus/"$target"/*)
    TMPDIR="$tmp_root/$target" "$build_dir/fuzz/fuzz_$target" -timeout=25 \
      -artifact_prefix="$artifacts/" "${inputs[@]}" >"$log" 2>&1 || status=$?
    summary="${#inputs[@]} corpus inputs replayed"
  else
    # The repository's corpus stays as it is: new inputs go to a work copy.
    work="$out/$target/corpus"
    rm -rf "$work"
    mkdir -p "$work"
    cp fuzz/corpus/"$target"/* "$work"/
    TMPDIR="$tmp_root/$target" "$build_dir/fuzz/fuzz_$target" -max_total_time="$seconds" \
      -timeout=25 -print_final_stats=1 -dict="fuzz/$target.dict" \
      -artifact_prefix="$artifacts/" "$work" >"$log" 2>&1 || status=$?
    done_line="$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1 || true)"
    runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)"
    cov="$(sed -E -n 's/.*(cov: [0-9]+ ft: [0-9]+ corp: [^ ]+).*/\1/p' <<<"$done_line")"
    summary="${runs:-?} runs in ${seconds} s, ${cov:-no DONE line}"
  fi
  if [ "$status" -ne 0 ] || grep -qE 'ERROR: (Address|Leak|Undefined)Sanitizer|runtime error:' "$log"; then
    echo "fuzz_$target: FAILED (exit $status); log: $log"
    grep -E 'ERROR:|runtime error:|CHECK FAILED|==kestrova-fuzz==|Test unit written|^Running:' "$log" |
      tail -n 8 | cut -c 1-300 | sed 's/^/  /'
    failed+=("$target")
  else
    echo "fuzz_$target: ok, $summary"
  fi
done

if ((${#failed[@]})); then
  echo "fuzzing found faults in: ${failed[*]}" >&2
  exit 1
fi
