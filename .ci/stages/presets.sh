# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# stage: the suite in every compiler, sanitizer, cross and NaN variant
install -- cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev binutils pkgconf python3
# Cross toolchains and the programs that run their output; lld and llvm (lld-link, llvm-dlltool)
# make and link the MSVC import libraries of the Windows build.
install --no-install-recommends -- g++-mingw-w64-x86-64 wine64 g++-aarch64-linux-gnu libc6-dev-arm64-cross \
    g++-riscv64-linux-gnu libc6-dev-riscv64-cross qemu-user lld llvm
# portable-nan: the release suite through the NaN path the RISC-V build takes.
for preset in gcc-O0 gcc-O3-native clang-O0 clang-O3-native clang-asan-ubsan clang-tsan \
              windows-mingw linux-aarch64 linux-riscv64 portable-nan; do
    workflow "$preset"
done
