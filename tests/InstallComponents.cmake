# SPDX-License-Identifier: MIT
cmake_minimum_required(VERSION 3.25)
# Each install component holds what it should: Runtime the two versioned
# libraries and their SONAME links only; Development the headers, the
# namelinks, the pkg-config files and the CMake package, and no versioned
# library. The file names come from the targets (tests/CMakeLists.txt).
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -DLIBDIR=... -DINCLUDEDIR=...
#         -DRUNTIME=name;... -DDEVELOPMENT=name;... -P InstallComponents.cmake
file(REMOVE_RECURSE ${WORK_DIR})
foreach(component Runtime Development)
    execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR}/${component}
        --component ${component} OUTPUT_QUIET RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "cmake --install --component ${component} failed")
    endif()
    file(GLOB_RECURSE files RELATIVE ${WORK_DIR}/${component} ${WORK_DIR}/${component}/*)
    list(SORT files)
    set(${component}_files ${files})
    message(STATUS "${component}: ${files}")
endforeach()

set(expected "")
foreach(name IN LISTS RUNTIME)
    list(APPEND expected ${LIBDIR}/${name})
endforeach()
list(SORT expected)
if(NOT Runtime_files STREQUAL expected)
    message(FATAL_ERROR "the Runtime component should hold ${expected}")
endif()
foreach(name IN LISTS DEVELOPMENT)
    if(NOT name IN_LIST Development_files)
        message(FATAL_ERROR "the Development component lacks ${name}")
    endif()
endforeach()
foreach(name IN LISTS Development_files)
    if(name MATCHES "\\.so\\.")
        message(FATAL_ERROR "the Development component holds a versioned library: ${name}")
    endif()
endforeach()
