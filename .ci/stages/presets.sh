# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# stage: the suite in every compiler, sanitizer, cross and NaN variant
install -- cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev binutils pkgconf python3
# Cross toolchains and the programs that run their output; lld and llvm (lld-link, llvm-dlltool)
# make and link the MSVC import libraries of the Windows build.
install --no-install-recommends -- g++-mingw-w64-x86-64 wine64 g++-aarch64-linux-gnu libc6-dev-arm64-cross \
    g++-riscv64-linux-gnu libc6-dev-riscv64-cross qemu-user lld llvm
# Two lanes of presets side by side, each building one file at a time: what
# one preset does alone (configuring, linking, tests under Wine and qemu) then
# overlaps with the other lane's compiling. The lanes take about as long.
# portable-nan: the release suite through the NaN path the RISC-V build takes.
lanes=("windows-mingw clang-tsan gcc-O0 clang-O3-native portable-nan"
       "linux-aarch64 linux-riscv64 clang-asan-ubsan gcc-O3-native clang-O0")
export CMAKE_BUILD_PARALLEL_LEVEL=1
pids=()
for lane in "${!lanes[@]}"; do
    # shellcheck disable=SC2086  # the lane's presets, one word each
    (for preset in ${lanes[$lane]}; do workflow "$preset"; done) >"build/ci-presets-lane$lane.out" 2>&1 &
    pids+=($!)
done
failed=0
for lane in "${!pids[@]}"; do
    wait "${pids[$lane]}" || failed=1
    cat "build/ci-presets-lane$lane.out"
done
((failed == 0)) || fail "a preset failed (its log is printed above)"
