# SPDX-License-Identifier: MIT
# Cross-build for 64-bit RISC-V Linux; tests run under qemu user-mode emulation.
set(TOVAK_CROSS_PROCESSOR riscv64)
set(TOVAK_CROSS_TRIPLET riscv64-linux-gnu)
set(TOVAK_CROSS_QEMU qemu-riscv64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu-cross.cmake)
