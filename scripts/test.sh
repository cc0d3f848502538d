#!/usr/bin/env bash
# Installs what is needed, builds Talvora twice (normal, and with
# AddressSanitizer + UndefinedBehaviorSanitizer) and runs every test; the
# threaded tests also under ThreadSanitizer.
# Exits non-zero when anything fails; the last line sums up the tests.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

passed=0
failed=0
# Runs ctest in a build folder with extra arguments and adds up its counts
# from the JUnit report ctest writes; a ctest that fails without a report
# counts as one failure.
run_ctest() {
  local dir=$1
  shift
  local report
  report=$(mktemp)
  local status=0
  ctest --test-dir "$dir" --output-on-failure --timeout 600 --output-junit "$report" "$@" || status=$?
  local counts
  counts=$(python3 - "$report" <<'PY' || true
import sys
import xml.etree.ElementTree as ET
try:
    suite = ET.parse(sys.argv[1]).getroot()
except (ET.ParseError, OSError):
    sys.exit(1)
cases = suite.iter("testcase")
statuses = [case.get("status") for case in cases]
print(statuses.count("run"), sum(1 for s in statuses if s not in ("run", "notrun", "disabled")))
PY
)
  rm -f "$report"
  if [ -n "$counts" ]; then
    passed=$((passed + ${counts% *}))
    failed=$((failed + ${counts#* }))
  fi
  if [ "$status" -ne 0 ] && { [ -z "$counts" ] || [ "${counts#* }" -eq 0 ]; }; then
    failed=$((failed + 1))
  fi
  return 0
}

echo "== Build with warnings as errors, then every test"
cmake -S . -B out/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALVORA_WERROR=ON
cmake --build out/release
run_ctest out/release -LE orca

echo "== What the screen reader Orca speaks, ten rounds of the two-book disc"
run_ctest out/release -L orca

echo "== Unit and window tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B out/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTALVORA_WERROR=ON -DTALVORA_SANITIZE=ON
cmake --build out/sanitize
run_ctest out/sanitize -LE 'e2e|valgrind|package|orca'

echo "== The station, the drives and the copy under ThreadSanitizer"
cmake -S . -B out/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALVORA_WERROR=ON -DTALVORA_TSAN=ON
tsan_tests=$(sed -n 's/^talvora_add_test(\(\(station\|disc\|copy\)_[a-z_]*\).*/\1/p' tests/*/CMakeLists.txt)
# shellcheck disable=SC2086 # one target a word
cmake --build out/tsan --target $tsan_tests
# Only those programs are built there: the unit tests found are theirs.
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/tests/tsan.supp" \
  run_ctest out/tsan -L unit -E '_NOT_BUILT$|^layout_|^fuzz_'

if [ -x scripts/fuzz-ci.sh ]; then
  echo "== Fuzzing: the stored corpus, then a short run"
  if scripts/fuzz-ci.sh; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
fi

echo "tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
