# SPDX-License-Identifier: MIT
# The flags that keep the library's floating point exact whatever a parent
# project or a user puts in the compiler flags (they go after them): no
# contraction into FMA, and every part of -ffast-math / -Ofast switched back
# off, so the angle conversion keeps its bits, its NaN and infinity checks and
# its signed zeros.
#
# Included by CMakeLists.txt: sets TOVAK_EXACT_FP for the compiler in use.
# Run as a script, `cmake -DOUTPUT=FILE -P cmake/ExactFP.cmake` writes the same
# flags as make variables (TOVAK_EXACT_FP, and TOVAK_EXACT_FP_GNU to add for
# GCC), for builds that do not use CMake (the Octave package's Makefile).
set(TOVAK_EXACT_FP_ANY -fno-fast-math -fno-unsafe-math-optimizations -fno-associative-math
    -fno-reciprocal-math -fno-finite-math-only -fsigned-zeros -ffp-contract=off)
set(TOVAK_EXACT_FP_GNU -ftrapping-math)  # GCC's default; Clang's is off

if(CMAKE_SCRIPT_MODE_FILE)
    if(NOT OUTPUT)
        message(FATAL_ERROR "usage: cmake -DOUTPUT=FILE -P ${CMAKE_CURRENT_LIST_FILE}")
    endif()
    list(JOIN TOVAK_EXACT_FP_ANY " " any)
    list(JOIN TOVAK_EXACT_FP_GNU " " gnu)
    file(WRITE "${OUTPUT}" "# Written from cmake/ExactFP.cmake: the library's exact floating point.\n"
        "TOVAK_EXACT_FP := ${any}\nTOVAK_EXACT_FP_GNU := ${gnu}\n")
else()
    set(TOVAK_EXACT_FP ${TOVAK_EXACT_FP_ANY})
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        list(APPEND TOVAK_EXACT_FP ${TOVAK_EXACT_FP_GNU})
    endif()
endif()
