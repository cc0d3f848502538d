#!/usr/bin/env bash
# Builds the libFuzzer targets (NCC, package file, discinfo.html, naming) with clang in a build folder of their own,
# runs every file of the starting corpus through them, then fuzzes each for
# a short while. Exits non-zero on a crash, a sanitizer report or a broken
# promise inside a target.
#
#   scripts/fuzz-ci.sh              about 60 seconds in all
#   FUZZ_SECONDS=600 scripts/fuzz-ci.sh   longer runs, split over the targets
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${FUZZ_BUILD_DIR:-$root/build-fuzz}"
seconds="${FUZZ_SECONDS:-60}"
jobs="${FUZZ_JOBS:-2}"

cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF -DTALVORA_FUZZ=ON >/dev/null
ninja -C "$build" -j "$jobs" fuzz_ncc_reader fuzz_folder_name fuzz_package_reader fuzz_discinfo_reader \
  fuzz_smil_reader fuzz_audio_walk

# target:corpus folder and its share of the fuzzing time
targets=("fuzz_ncc_reader:ncc:2" "fuzz_folder_name:folder-name:1" "fuzz_package_reader:package:1"
         "fuzz_discinfo_reader:discinfo:1" "fuzz_smil_reader:smil:1" "fuzz_audio_walk:audio:1")
shares=0
for t in "${targets[@]}"; do shares=$((shares + ${t##*:})); done

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

status=0
for t in "${targets[@]}"; do
  IFS=: read -r target corpus share <<<"$t"
  exe="$build/fuzz/$target"
  starting="$root/fuzz/corpus/$corpus"
  # New inputs found during the run go to a scratch folder, never into the
  # committed corpus; what makes a target fail is kept in the build folder.
  work="$(mktemp -d)"
  trap 'rm -rf "$work"' EXIT
  artifacts="$build/fuzz-artifacts/$target"
  mkdir -p "$artifacts"

  echo "== $target: starting corpus ($(ls "$starting" | wc -l) files)"
  if ! "$exe" -runs=0 "$starting" 2>&1 | tail -n 3; then
    echo "FAIL: $target crashed on its starting corpus" >&2
    status=1
    continue
  fi

  budget=$((seconds * share / shares))
  # libFuzzer reads 0 as "no limit".
  [ "$budget" -ge 1 ] || budget=1
  echo "== $target: fuzzing for ${budget}s"
  log="$work/fuzz.log"
  if "$exe" -max_total_time="$budget" -max_len=16384 -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix="$artifacts/" -print_final_stats=1 "$work" "$starting" >"$log" 2>&1; then
    grep -E '^stat::number_of_executed_units|^stat::average_exec_per_sec|^stat::new_units_added' "$log" || true
  else
    tail -n 40 "$log" >&2
    for crash in "$artifacts"/crash-* "$artifacts"/timeout-* "$artifacts"/oom-*; do
      [ -e "$crash" ] || continue
      echo "FAIL: $target: $(basename "$crash") ($(wc -c <"$crash") bytes):" >&2
      od -c "$crash" | head -n 20 >&2
    done
    status=1
  fi
  rm -rf "$work"
  trap - EXIT
done

if [ "$status" -eq 0 ]; then
  echo "fuzz-ci: no crashes"
fi
exit "$status"
