# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# stage: the differential fuzzer: seed corpus, then 90 s on two cores; with portable NaNs, seeds and 20 s
install -- cmake ninja-build clang libclang-rt-14-dev
# fuzz PRESET SECONDS: build, replay the seed corpus (which must reach every
# function), then fuzz from it for SECONDS on each core (libFuzzer's fork mode,
# two workers sharing one corpus).
fuzz() {
    local preset=$1 seconds=$2 work called lists functions
    local fuzzer=build/$preset/fuzz/tovakDifferentialFuzzer
    step "$preset"
    quiet "$preset-configure" cmake --preset "$preset"
    quiet "$preset-build" cmake --build --preset "$preset"
    TOVAK_FUZZ_TRACE=1 quiet "$preset-seeds" "$fuzzer" fuzz/corpus/*
    functions=$(grep -c '^    X(' include/tovakWrapperAccessors.h)
    called=$(grep -oE '^mi[A-Za-z0-9]+' "build/ci-$preset-seeds.log" | grep -vx miRunCalls | sort -u | wc -l)
    lists=$(grep -c '^miRunCalls ' "build/ci-$preset-seeds.log" || true)
    echo "seed corpus: $(find fuzz/corpus -type f | wc -l) inputs, $called of $((functions + 1)) functions called, $lists call lists (miRunCalls)"
    [ "$called" -eq $((functions + 1)) ] || fail "the seed corpus no longer reaches every function"
    [ "$lists" -gt 0 ] || fail "the seed corpus no longer runs a call list"
    work=$(mktemp -d)
    "$fuzzer" -fork=2 -max_total_time="$seconds" -artifact_prefix="$work/" "$work" fuzz/corpus \
        >"build/ci-$preset.log" 2>&1 || { tail -n 60 "build/ci-$preset.log"; ls "$work"/crash-* 2>/dev/null; fail "$preset: the fuzzer failed"; }
    grep -E '^#[0-9]+: cov' "build/ci-$preset.log" | tail -n 1
    rm -rf "$work"
}
fuzz fuzz 90
# NaN angles built from their bits, checked against the hardware's NaNs.
fuzz fuzz-portable-nan 20
