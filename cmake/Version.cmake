# SPDX-License-Identifier: MIT
# The version is written once, in include/tovakWrapper.h's
# TOVAKWRAPPER_VERSION_* macros; this reads it into TOVAK_VERSION
# (MAJOR.MINOR.PATCH) for the project and for the projects that test it.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/../include/tovakWrapper.h TOVAK_VERSION_LINES
    REGEX "^#define TOVAKWRAPPER_VERSION_(MAJOR|MINOR|PATCH) [0-9]+$")
string(REGEX REPLACE "[^;]*_MAJOR ([0-9]+);[^;]*_MINOR ([0-9]+);[^;]*_PATCH ([0-9]+)" "\\1.\\2.\\3"
    TOVAK_VERSION "${TOVAK_VERSION_LINES}")
if(NOT TOVAK_VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+$")
    message(FATAL_ERROR "include/tovakWrapper.h: no TOVAKWRAPPER_VERSION_MAJOR, _MINOR and _PATCH, in this order")
endif()
