#!/usr/bin/env bash
# Hardening checks, run by CI after scripts/test.sh; installs what they need
# (Debian, as root). Any finding fails the run:
#   1. formatting: clang-format leaves every tracked C++ file unchanged;
#   2. the whole test suite built with clang under AddressSanitizer and
#      UndefinedBehaviorSanitizer, stopping at the first report;
#   3. the fault sweep's case count;
#   4. each libFuzzer target for PANOCTL_FUZZ_SECONDS (default 30) seconds;
#   5. the panoctl binary under valgrind memcheck, every command on the
#      built-in machine and on fault scenarios;
#   6. clang-tidy (.clang-tidy) and cppcheck;
#   7. the library's threads and the commands over several displays under
#      ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

fuzz_seconds=${PANOCTL_FUZZ_SECONDS:-30}
build=${PANOCTL_HARDENING_BUILD:-build-hardening}  # clang: tests and fuzzers
plain=${PANOCTL_VALGRIND_BUILD:-build-valgrind}    # g++, dynamically linked
jobs=$(nproc)

packages=(g++ cmake make nlohmann-json3-dev libtomlplusplus-dev libgtest-dev python3 python3-jsonschema mandoc
          clang-14 libclang-rt-14-dev llvm-14 clang-tidy-14 clang-format-14 cppcheck valgrind)
if ! dpkg -s "${packages[@]}" >/dev/null 2>&1; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${packages[@]}"
fi

step() { printf '\n== [%d:%02d] %s\n' $((SECONDS / 60)) $((SECONDS % 60)) "$*"; }

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t sources < <(git ls-files '*.cpp' '*.h')
else
    mapfile -t sources < <(find src tests fuzz bench -name '*.cpp' -o -name '*.h' 2>/dev/null | sort)
fi

step "clang-format: ${#sources[@]} files"
clang-format-14 --dry-run --Werror "${sources[@]}"
echo "formatting: every file unchanged"

step "clang build under AddressSanitizer and UndefinedBehaviorSanitizer (tests and fuzzers)"
CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -DPANOCTL_PLATFORM=sim -DPANOCTL_TESTS=ON \
    -DPANOCTL_FUZZ=ON -DPANOCTL_WERROR=ON -DCMAKE_CXX_FLAGS="-O1 -gline-tables-only" \
    -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
cmake --build "$build" -j"$jobs"

export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1:strict_init_order=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
if [ -x /usr/lib/llvm-14/bin/llvm-symbolizer ]; then
    export ASAN_SYMBOLIZER_PATH=/usr/lib/llvm-14/bin/llvm-symbolizer
fi

step "test suite under the sanitizers"
ctest --test-dir "$build" --output-on-failure -j"$jobs"

step "fault sweep"
"$build/tests/panoctl_test" --gtest_filter='FaultSweep.*' | grep '^fault sweep:'

step "fuzzing: ${fuzz_seconds} s per target, two at a time"
fuzz_out="$build/fuzz-runs"
rm -rf "$fuzz_out"
fuzz() {
    local target=$1 dict=()
    mkdir -p "$fuzz_out/$target/corpus"
    [ -f "fuzz/$target.dict" ] && dict=(-dict="fuzz/$target.dict")
    # New inputs go to a scratch corpus; the seeds in the repository stay as they are.
    "$build/fuzz/$target" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=4096 \
        -print_final_stats=1 -artifact_prefix="$fuzz_out/$target/" "${dict[@]}" \
        "$fuzz_out/$target/corpus" "fuzz/corpus/${target%_fuzz}" >"$fuzz_out/$target.log" 2>&1
}
report() {
    local target=$1 status=$2 runs
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$fuzz_out/$target.log")
    if [ "$status" -ne 0 ]; then
        echo "fuzz $target: FINDING (status $status)"
        grep -v -E '^#[0-9]+|^INFO:' "$fuzz_out/$target.log" | tail -n 60
        for artifact in "$fuzz_out/$target"/crash-* "$fuzz_out/$target"/timeout-* \
                        "$fuzz_out/$target"/oom-* "$fuzz_out/$target"/leak-*; do
            [ -f "$artifact" ] || continue
            echo "input $(basename "$artifact"):"
            od -A d -t x1z -v "$artifact" | head -n 40
        done
        return 1
    fi
    echo "fuzz $target: ${runs:-?} executions in ${fuzz_seconds} s, no finding"
}
failed=0
targets=(json_escape_fuzz cli_fuzz batch_fuzz replies_fuzz scenario_fuzz capabilities_fuzz
         saved_document_fuzz config_fuzz)
for ((i = 0; i < ${#targets[@]}; i += 2)); do
    pids=()
    for target in "${targets[@]:i:2}"; do
        fuzz "$target" &
        pids+=($!)
    done
    for k in "${!pids[@]}"; do
        status=0
        wait "${pids[$k]}" || status=$?
        report "${targets[i + k]}" "$status" || failed=1
    done
done
[ "$failed" -eq 0 ]

step "valgrind memcheck on the panoctl binary"
# Dynamically linked and uninstrumented: memcheck cannot follow the heap of
# a static binary.
cmake -S . -B "$plain" -DPANOCTL_PLATFORM=sim -DPANOCTL_STATIC=OFF -DPANOCTL_WERROR=ON \
    -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$plain" -j"$jobs" --target panoctl
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
left=52721127-E5C3-A401-1720-0104B53C2278
machine() {  # one display whose monitor has the given faults, or no monitor
    local faults=$1 service='{"monitor": "m"}'
    [ "$faults" = none ] && service='{}' && faults='{}'
    cat <<EOF
{"registry": {"name": "Root", "children": [
   {"name": "AppleCLCD2", "properties": {"EDID UUID": "$left", "EDID": {"\$data": "00ffffffffffff004c2d000078563412"}}},
   {"name": "DCPAVServiceProxy", "avservice": $service}]},
 "monitors": {"m": {"vcp": {"0x10": {"current": 50, "max": 100}},
                    "capabilities": "(prot(monitor)type(LCD)model(VG1)cmds(01 02 03 07 0C E3 F3)vcp(02 10 12))",
                    "faults": $faults}}}
EOF
}
machine '{"failWrites": [1, 3, 5]}' >"$scratch/writes-fail.json"
machine '{"failReads": [0, 1]}' >"$scratch/reads-fail.json"
machine '{"replies": {"0": "0081ff0010ff12340007", "1": "6e80be", "2": "ffffffffff"}}' \
    >"$scratch/bad-replies.json"
machine none >"$scratch/nothing-connected.json"
runs=0
memcheck() {  # scenario ("" for the built-in machine), then the arguments
    local scenario=$1 status=0
    shift
    PANOCTL_SIM_FAST=1 PANOCTL_SIM_SCENARIO="$scenario" PANOCTL_SIM_STATE="${state:-}" \
        XDG_CACHE_HOME="$scratch/cache" \
        valgrind -q --error-exitcode=99 --leak-check=full --show-leak-kinds=all \
        --errors-for-leak-kinds=all --suppressions=scripts/valgrind.supp \
        "$plain/panoctl" "$@" >/dev/null 2>"$scratch/valgrind.log" || status=$?
    runs=$((runs + 1))
    if [ "$status" -gt 2 ]; then
        echo "valgrind: panoctl $* (scenario ${scenario:-built-in}): status $status"
        cat "$scratch/valgrind.log"
        return 1
    fi
}
state=""
memcheck ""
memcheck "" nonsense
memcheck "" get "$left" 5O
printf '{"features":{"0x10":20,"contrast":30,"0x62":500}}' >"$scratch/saved.json"
for id in "$left" unknown-id; do
    memcheck "" list
    memcheck "" get "$id" 0x10
    memcheck "" set "$id" 0x10 70
    memcheck "" capabilities "$id"
    memcheck "" probeaddr "$id"
    memcheck "" save "$id"
    memcheck "" restore "$id" "$scratch/saved.json"
done
memcheck "" restore "$left" /nonexistent
DDC_DEBUG=1 memcheck "" list
# Several displays: each in a thread of its own, and in turn.
memcheck "" get all 0x10
DDC_DEBUG=1 memcheck "" set 2,1,nope 0x10 70
memcheck "" --one-at-a-time set all 0x10 + 5
memcheck "" get 1,,2 0x10
# A batch: every command, refused and odd lines, a line too long, no last line feed.
{ printf 'list\nget 1 brightness\nset 2 16 + 5\ncapabilities 1\nfeatures 2\nprobeaddr 1\n'
  printf 'get all 16\nset 2,1 16 - 5\nget 1,,2 16\n'
  printf 'get 3 16\nbogus\nbatch\nhelp\nget 1\0 16\n \t \n%05000d\nget 2 \377\nlist'; } |
    DDC_DEBUG=1 memcheck "" batch
state="$scratch/state.json" memcheck "" set "$left" 0x10 30
state="$scratch/state.json" memcheck "" get "$left" 0x10
# A batch that takes and gives the state file around each line.
printf 'set 1 16 40\nget 1 16\nlist\nset 2 16 +5%%\n--fail --max get 9 16\n' |
    state="$scratch/state.json" memcheck "" batch
for scenario in "$scratch"/{writes-fail,reads-fail,bad-replies,nothing-connected}.json \
                tests/cases/scenario-not-json/scenario.json \
                tests/cases/scenario-number-overflow/scenario.json; do
    memcheck "$scenario" list
    memcheck "$scenario" get "$left" 0x10
    memcheck "$scenario" set "$left" 0x10 70
    memcheck "$scenario" capabilities "$left"
    memcheck "$scenario" probeaddr "$left" 0x10
done
# A watch: its display unplugged under it (the file renamed over, as a
# caller rewrites it), which ends it through --count.
machine '{}' >"$scratch/watched.json"
(sleep 5 && echo '{"registry": {"name": "Root"}}' >"$scratch/watched.new" &&
    mv "$scratch/watched.new" "$scratch/watched.json") &
memcheck "$scratch/watched.json" --count 1 watch
wait
echo "valgrind: $runs runs of panoctl, no errors, no leaks (AV service handles kept until exit by design)"

step "clang-tidy"
mapfile -t tidy_sources < <(printf '%s\n' "${sources[@]}" | grep -E '^(src|fuzz)/.*\.cpp$' |
                            grep -v -E '_test\.cpp$|^src/platform/macos/')
if ! printf '%s\n' "${tidy_sources[@]}" |
        xargs -P"$jobs" -n1 clang-tidy-14 -p "$build" --quiet >"$scratch/tidy.log" 2>&1; then
    grep -v -E '^[0-9]+ warnings? generated\.$' "$scratch/tidy.log"
    echo "clang-tidy: findings above"
    exit 1
fi
echo "clang-tidy: ${#tidy_sources[@]} files clean"

step "cppcheck"
cppcheck --enable=warning,performance,portability --error-exitcode=1 --inline-suppr \
    --std=c++20 --quiet -j"$jobs" --library=googletest --library=posix \
    --suppress=missingIncludeSystem -I src -I src/platform/sim -I tests -I fuzz src fuzz tests
echo "cppcheck: clean"
step "ThreadSanitizer: the library's threads and the commands over several displays"
tsan=${PANOCTL_TSAN_BUILD:-build-tsan}
CC=clang-14 CXX=clang++-14 cmake -S . -B "$tsan" -DPANOCTL_PLATFORM=sim -DPANOCTL_TESTS=ON \
    -DPANOCTL_WERROR=ON -DCMAKE_CXX_FLAGS="-O1 -g -fsanitize=thread" \
    -DCMAKE_C_FLAGS="-O1 -g -fsanitize=thread" -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread >/dev/null
cmake --build "$tsan" -j"$jobs" --target panoctl_test
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    "$tsan/tests/panoctl_test" --gtest_filter='Library*:SeveralDisplays*' | tail -n 3

step "hardening checks passed"

