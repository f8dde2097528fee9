#!/usr/bin/env bash
# The module player's fuzzer (fuzz/) for one minute: any bytes as a module (XM, MOD or S3M), loaded
# and played under AddressSanitizer and UndefinedBehaviorSanitizer. Starts from generated modules,
# the shared modules (../shared/xm-corpus and ../shared/format-tests, when present) and the inputs
# kept in tests/data/fuzz_regressions, and keeps what it learns in build/fuzz/corpus for the next run.
# Skipped when clang++-14 or its fuzzer runtime is missing. Exits non-zero with a FAIL line when an
# input crashes, trips a sanitizer, or takes more than 10 s; the input is then in
# build/fuzz/artifacts/.
set -u
cd "$(dirname "$0")/../.."
root=$PWD
build=$root/build/fuzz
seconds=${FUZZ_SECONDS:-60}

fail() {
    echo "FAIL: fuzz: $*"
    exit 1
}

if ! command -v clang++-14 >/dev/null; then
    echo "fuzz: skipped, clang++-14 is not installed (scripts/setup.sh test installs it)"
    exit 0
fi
if [ ! -f "$(clang++-14 --print-runtime-dir)/libclang_rt.fuzzer-x86_64.a" ]; then
    echo "fuzz: skipped, clang's fuzzer runtime is not installed (libclang-rt-14-dev)"
    exit 0
fi

mkdir -p "$build"
log=$build/build.log
echo "building the fuzzer (build/fuzz)"
{ cmake -S fuzz -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 && cmake --build "$build"; } >"$log" 2>&1 ||
    { cat "$log"; fail "the fuzzer build failed"; }

rm -rf "$build/seeds" "$build/artifacts"
mkdir -p "$build/seeds" "$build/artifacts" "$build/corpus"
"$build/make_seeds" "$build/seeds" >/dev/null || fail "cannot write the seed modules"
inputs=("$build/corpus" "$build/seeds" "$root/tests/data/fuzz_regressions")
[ -d "$root/../shared/xm-corpus" ] && inputs+=("$root/../shared/xm-corpus")
[ -d "$root/../shared/format-tests" ] && inputs+=("$root/../shared/format-tests")

echo "fuzzing for $seconds s"
# Large modules are cut to 64 KiB: headers, patterns and the first samples are what the player
# parses; longer sample data only costs time.
nice -n 10 "$build/xm_fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
    -dict="$root/fuzz/xm.dict" -use_value_profile=1 -error_exitcode=1 -timeout_exitcode=1 \
    -artifact_prefix="$build/artifacts/" -print_final_stats=1 "${inputs[@]}" >"$build/fuzz.log" 2>&1
code=$?
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build/fuzz.log")
rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$build/fuzz.log")
if [ "$code" -ne 0 ]; then
    grep -m 20 -E "ERROR|runtime error|SUMMARY|Test unit written" "$build/fuzz.log"
    fail "an input failed (exit code $code; log $build/fuzz.log). Keep it in tests/data/fuzz_regressions/" \
         "once the player is fixed"
fi
echo "fuzz: ${runs:-?} inputs in $seconds s (${rate:-?} per second), no finding"
