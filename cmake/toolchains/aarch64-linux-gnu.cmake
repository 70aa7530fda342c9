# SPDX-License-Identifier: MIT
# Cross-build for 64-bit Arm Linux; tests run under qemu user-mode emulation.
set(TOVAK_CROSS_PROCESSOR aarch64)
set(TOVAK_CROSS_TRIPLET aarch64-linux-gnu)
set(TOVAK_CROSS_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu-cross.cmake)
