#!/bin/bash
# Builds every preset and runs every test the machine allows: ctest on linux, linux-asan,
# linux-tsan and win64 (under Wine), a client built out of tree against the linux install, each
# fuzz target for FUZZ_SECONDS, and a build-only check of win32. Ends with one line
# "N passed, N failed" over all of it; exits non-zero on any failure.
set -u
cd "$(dirname "$0")/.."
FUZZ_SECONDS=${FUZZ_SECONDS:-30}
JOBS=${JOBS:-$(nproc)}
LOGS=build/logs
mkdir -p "$LOGS"
passed=0
failed=0
failures=()

note_fail() { failed=$((failed + 1)); failures+=("$1"); }

build() {
  local preset=$1
  echo "== build $preset"
  if cmake --preset "$preset" >"$LOGS/configure-$preset.log" 2>&1 &&
     cmake --build --preset "$preset" -j "$JOBS" >"$LOGS/build-$preset.log" 2>&1; then
    return 0
  fi
  echo "   FAILED: see $LOGS/*-$preset.log"
  tail -30 "$LOGS/build-$preset.log" 2>/dev/null || tail -30 "$LOGS/configure-$preset.log"
  note_fail "build $preset"
  return 1
}

run_ctest() {
  local preset=$1
  shift
  echo "== test $preset"
  local log="$LOGS/test-$preset.log"
  ctest --test-dir "build/$preset" -j "$JOBS" --output-on-failure --no-tests=ignore "$@" >"$log" 2>&1
  local line total fail
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
  if [ -n "$line" ]; then
    fail=$(echo "$line" | sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/')
    total=$(echo "$line" | sed -E 's/.* failed out of ([0-9]+).*/\1/')
  elif grep -q 'No tests were found' "$log"; then
    fail=0 total=0
  else
    fail=1 total=1
  fi
  passed=$((passed + total - fail))
  for ((i = 0; i < fail; i++)); do failures+=("$preset test"); done
  failed=$((failed + fail))
  echo "   $line"
  if [ "$fail" != 0 ]; then
    grep -E '^\s+[0-9]+ - .*\((Failed|Timeout|SEGFAULT|Not Run|Exception|Subprocess aborted)' "$log" | head -40
    grep -B5 -A60 -E 'FAILED|ThreadSanitizer|AddressSanitizer|runtime error' "$log" | head -200
  fi
}

run_fuzz() {
  local dir=build/linux-fuzz/fuzz
  for target in "$dir"/fuzz_*; do
    [ -x "$target" ] || continue
    local name corpus seeds
    name=$(basename "$target")
    corpus=build/fuzz-corpus/$name
    mkdir -p "$corpus"
    # The committed seeds (fuzz/seeds/fix for fuzz_fix_parse, .../round_trip for fuzz_round_trip)
    # are read on every run, so an input that once failed keeps being tried.
    seeds=fuzz/seeds/${name#fuzz_}
    seeds=${seeds%_parse}
    local inputs=("$corpus")
    [ -d "$seeds" ] && inputs+=("$seeds")
    echo "== fuzz $name for ${FUZZ_SECONDS}s"
    if "$target" -max_total_time="$FUZZ_SECONDS" -rss_limit_mb=2048 -print_final_stats=0 "${inputs[@]}" \
         >"$LOGS/fuzz-$name.log" 2>&1; then
      passed=$((passed + 1))
    else
      tail -40 "$LOGS/fuzz-$name.log"
      note_fail "fuzz $name"
    fi
  done
}

# The install as a user sees it: find_package and pkg-config builds of the examples, run against
# the installed simulator.
run_consumer() {
  echo "== consumer test (install, find_package, pkg-config)"
  if scripts/consumer-test.sh build/linux >"$LOGS/consumer.log" 2>&1; then
    passed=$((passed + 1))
  else
    note_fail "consumer test"
  fi
  cat "$LOGS/consumer.log"
}

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}

# Layout is clang-format 14's, as .clang-format says; a file that differs fails the run.
run_format() {
  echo "== format (clang-format-14 --dry-run -Werror)"
  if git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format-14 --dry-run -Werror >"$LOGS/format.log" 2>&1; then
    passed=$((passed + 1))
  else
    head -40 "$LOGS/format.log"
    note_fail "format"
  fi
}

# The linux build comes first: the Windows tests use its simulator.
run_format
if build linux; then
  run_ctest linux
  run_consumer
fi
for preset in linux-asan linux-tsan; do
  build "$preset" && run_ctest "$preset"
done
build win64 && run_ctest win64
build win32 && passed=$((passed + 1))
build linux-fuzz && run_fuzz

echo
if [ "$failed" != 0 ]; then
  echo "failures:"
  printf '  %s\n' "${failures[@]}"
fi
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
