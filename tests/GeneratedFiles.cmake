# SPDX-License-Identifier: MIT
cmake_minimum_required(VERSION 3.25)
# The generated files in the tree are what their generators write today:
# tests/AngleCases.inc (tests/make_angle_cases.py) and the fuzzer's seed
# corpus fuzz/corpus (fuzz/make_seeds.py, which reads the accessor list).
#   cmake -DPYTHON=... -DSOURCE_DIR=... -DWORK_DIR=... -P GeneratedFiles.cmake
set(stale "")
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

execute_process(COMMAND ${PYTHON} ${SOURCE_DIR}/tests/make_angle_cases.py
    OUTPUT_FILE ${WORK_DIR}/AngleCases.inc RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "tests/make_angle_cases.py failed: ${status}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files
    ${WORK_DIR}/AngleCases.inc ${SOURCE_DIR}/tests/AngleCases.inc RESULT_VARIABLE differs)
if(differs)
    list(APPEND stale "tests/AngleCases.inc (in tests/: /usr/bin/python3 make_angle_cases.py > AngleCases.inc)")
endif()

execute_process(COMMAND ${PYTHON} ${SOURCE_DIR}/fuzz/make_seeds.py ${WORK_DIR}/corpus
    OUTPUT_QUIET RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "fuzz/make_seeds.py failed: ${status}")
endif()
file(GLOB fresh RELATIVE ${WORK_DIR}/corpus ${WORK_DIR}/corpus/*)
file(GLOB committed RELATIVE ${SOURCE_DIR}/fuzz/corpus ${SOURCE_DIR}/fuzz/corpus/*)
set(seeds_differ "")
if(NOT fresh STREQUAL committed)
    set(seeds_differ "the seed names")
endif()
foreach(seed IN LISTS fresh)
    if(EXISTS ${SOURCE_DIR}/fuzz/corpus/${seed})
        execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files
            ${WORK_DIR}/corpus/${seed} ${SOURCE_DIR}/fuzz/corpus/${seed} RESULT_VARIABLE differs)
        if(differs)
            list(APPEND seeds_differ ${seed})
        endif()
    endif()
endforeach()
if(seeds_differ)
    list(JOIN seeds_differ ", " seeds_differ)
    list(APPEND stale "fuzz/corpus: ${seeds_differ} (in fuzz/: rm -r corpus && /usr/bin/python3 make_seeds.py)")
endif()

if(stale)
    list(JOIN stale "\n  " stale)
    message(FATAL_ERROR "stale generated files; regenerate and commit:\n  ${stale}")
endif()
list(LENGTH fresh seeds)
message(STATUS "tests/AngleCases.inc and the ${seeds} seeds of fuzz/corpus are as generated")
