#!/usr/bin/env bash
# What CI runs: installs what is missing, checks the format, builds the program and
# its tests (benchmarks only build through their own target) and runs every test
# (headless), then builds with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, runs every test that does not start Qt WebEngine there,
# and runs each fuzz target over its seed corpus and then for FUZZ_SECONDS (5).
# Both builds are unity builds: about a third less compile time on a fresh machine.
# Extra arguments go to the first ctest. Each stage prints its time.
#   QUILLMARK_BUILD_DIR (build), QUILLMARK_ASAN_BUILD_DIR (build-asan),
#   FUZZ_SECONDS (5), QUILLMARK_SKIP_SANITIZERS=1 to stop after the ordinary tests.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${QUILLMARK_BUILD_DIR:-build}
asan=${QUILLMARK_ASAN_BUILD_DIR:-build-asan}
fuzz_seconds=${FUZZ_SECONDS:-5}
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

timings=()
failed=()
# Runs one stage and records its time; a failing stage fails the run at the end, but
# the later stages still run, so one report shows everything. (Inside a stage errexit
# is off: each stage function chains its commands with && or returns its status.)
stage() {
  local name=$1 start=$SECONDS result=ok
  shift
  echo "==== $name"
  "$@" || { result=FAILED; failed+=("$name"); }
  timings+=("$(printf '%-30s %5d s  %s' "$name" $((SECONDS - start)) "$result")")
  echo "==== $name: $((SECONDS - start)) s, $result"
}
report() {
  echo "==== stage times"
  printf '%s\n' "${timings[@]}"
  if [ ${#failed[@]} -gt 0 ]; then
    echo "==== FAILED: ${failed[*]}"
    exit 1
  fi
}
trap report EXIT

format_check() {
  # Every C++ file of the repository, against .clang-format.
  git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror &&
    echo "format: $(git ls-files '*.cpp' '*.h' | wc -l) files match .clang-format"
}

build_main() {
  # Line tables are all a failing test's backtrace needs: -g1 compiles a third faster.
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_UNITY_BUILD=ON \
        -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" \
        -DQUILLMARK_BUILD_TESTS=ON -DQUILLMARK_BUILD_BENCH=OFF >/dev/null &&
    cmake --build "$build" --parallel "$jobs"
}

build_sanitized() {
  cmake -S . -B "$asan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_UNITY_BUILD=ON \
        -DCMAKE_CXX_COMPILER=clang++ \
        -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only -DNDEBUG" \
        -DQUILLMARK_SANITIZE=ON -DQUILLMARK_FUZZ=ON \
        -DQUILLMARK_BUILD_TESTS=ON -DQUILLMARK_BUILD_BENCH=OFF >/dev/null &&
    cmake --build "$asan" --parallel "$jobs" --target tests_without_webengine fuzz
}

sanitized_tests() {
  # halt_on_error: the first report ends the test, which then fails. The suppressions
  # name only reports from inside system libraries. Stack use after return: a callback
  # left holding a finished function's locals.
  ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:halt_on_error=1:suppressions="$PWD/tests/sanitizers/asan.supp" \
    LSAN_OPTIONS=suppressions="$PWD/tests/sanitizers/lsan.supp":print_suppressions=0 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$asan" --output-on-failure --parallel "$jobs" --label-exclude webengine
}

fuzz_all() {
  # Two targets at a time (one per core); every one runs even when another fails.
  local targets=() bad=0 pids=() names=()
  mapfile -t targets < <(scripts/fuzz.sh --list)
  local i=0
  while [ $i -lt ${#targets[@]} ]; do
    pids=(); names=()
    for t in "${targets[@]:$i:$jobs}"; do
      QUILLMARK_FUZZ_BUILD_DIR=$asan QUILLMARK_FUZZ_REBUILD=0 scripts/fuzz.sh "$t" "$fuzz_seconds" \
        >"$asan/fuzz-$t.log" 2>&1 &
      pids+=($!); names+=("$t")
    done
    for k in "${!pids[@]}"; do
      wait "${pids[$k]}" || bad=1
      cat "$asan/fuzz-${names[$k]}.log"
    done
    i=$((i + jobs))
  done
  return $bad
}

stage "dependencies" scripts/setup-deps.sh
stage "format check" format_check
stage "build" build_main
stage "tests" ctest --test-dir "$build" --output-on-failure --parallel "$jobs" "$@"
if [ "${QUILLMARK_SKIP_SANITIZERS:-0}" != 1 ]; then
  stage "sanitizer build (clang)" build_sanitized
  stage "sanitizer tests" sanitized_tests
  stage "fuzzing (${fuzz_seconds} s each)" fuzz_all
fi
