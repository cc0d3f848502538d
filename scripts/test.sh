#!/usr/bin/env bash
# Installs what is needed, builds Talvora twice (normal, and with
# AddressSanitizer + UndefinedBehaviorSanitizer) and runs every test.
# Exits non-zero when anything fails; the last line sums up the tests.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

passed=0
failed=0
# Runs ctest in a build folder with extra arguments and adds up its counts.
run_ctest() {
  local dir=$1
  shift
  local log
  log=$(mktemp)
  local status=0
  ctest --test-dir "$dir" --output-on-failure --timeout 600 "$@" 2>&1 | tee "$log" || status=$?
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1 || true)
  rm -f "$log"
  if [ -n "$line" ]; then
    local total bad
    bad=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
    total=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$line")
    passed=$((passed + total - bad))
    failed=$((failed + bad))
  elif [ "$status" -ne 0 ]; then
    failed=$((failed + 1))
  fi
  return 0
}

echo "== Build with warnings as errors, then every test"
cmake -S . -B out/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALVORA_WERROR=ON
cmake --build out/release
run_ctest out/release

echo "== Unit and window tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B out/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTALVORA_WERROR=ON -DTALVORA_SANITIZE=ON
cmake --build out/sanitize
run_ctest out/sanitize -LE 'e2e|valgrind|package'

if [ -x scripts/fuzz-ci.sh ]; then
  echo "== Fuzzing: the stored corpus, then a short run"
  if scripts/fuzz-ci.sh; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
fi

echo "tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
