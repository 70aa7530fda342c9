# SPDX-License-Identifier: MIT
# Debian packages with CPack, one per install component:
#   libtovakwrapper<SOVERSION>  (Runtime)      the shared library
#   libtovakwrapper-dev         (Development)  header, namelink, CMake package, .pc,
#                                             depending on exactly the same runtime version
# Build them with the deb preset:  cmake --workflow --preset deb
string(TOLOWER "lib${PROJECT_NAME}${TOVAK_SOVERSION}" TOVAK_DEB_RUNTIME)
string(TOLOWER "lib${PROJECT_NAME}-dev" TOVAK_DEB_DEV)
set(TOVAK_DEB_REVISION 1)
set(TOVAK_DEB_VERSION ${PROJECT_VERSION}-${TOVAK_DEB_REVISION})
set(TOVAK_DEBIAN_MAINTAINER "The tovakWrapper developers <tovakwrapper@example.org>"
    CACHE STRING "Maintainer field of the Debian packages")

if(TOVAK_DEBIAN_PACKAGES)
    # /usr/share/doc/<package>/: copyright (machine-readable, from LICENSE),
    # changelog.Debian.gz and the upstream changelog.gz, compressed as Debian
    # wants them (gzip -9n: no name, no time stamp, so rebuilds are identical).
    file(STRINGS LICENSE licence_lines)
    list(FILTER licence_lines INCLUDE REGEX "^Copyright")
    string(REGEX REPLACE "^Copyright (\\(c\\) )?" "" TOVAK_COPYRIGHT "${licence_lines}")
    file(READ LICENSE licence)
    string(REGEX REPLACE "^.*Copyright[^\n]*\n\n" "" licence "${licence}")
    string(REGEX REPLACE "\n$" "" licence "${licence}")
    string(REGEX REPLACE "\n\n" "\n.\n" licence "${licence}")
    string(REGEX REPLACE "\n" "\n " TOVAK_LICENCE_TEXT "${licence}")
    configure_file(cmake/debian/copyright.in ${PROJECT_BINARY_DIR}/debian/copyright @ONLY)

    # The Debian changelog's entry is this release's: its date is that of
    # the release's heading in CHANGELOG.md ("## 0.1.0 — 2026-12-09").
    file(STRINGS CHANGELOG.md release_heading ENCODING UTF-8 REGEX "^## ${PROJECT_VERSION} ")
    if(NOT release_heading MATCHES " ([0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9])$")
        message(FATAL_ERROR "CHANGELOG.md has no heading '## ${PROJECT_VERSION} — YYYY-MM-DD' for "
            "the Debian changelog: release notes come before packages")
    endif()
    execute_process(COMMAND date -u -R -d "${CMAKE_MATCH_1} 12:00" OUTPUT_VARIABLE TOVAK_DEB_DATE
        OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    configure_file(cmake/debian/changelog.in ${PROJECT_BINARY_DIR}/debian/changelog @ONLY)

    find_program(TOVAK_GZIP gzip REQUIRED)
    set(gz_debian ${PROJECT_BINARY_DIR}/debian/changelog.Debian.gz)
    set(gz_upstream ${PROJECT_BINARY_DIR}/debian/changelog.gz)
    add_custom_command(OUTPUT ${gz_debian} ${gz_upstream}
        COMMAND ${TOVAK_GZIP} -9n -c ${PROJECT_BINARY_DIR}/debian/changelog > ${gz_debian}
        COMMAND ${TOVAK_GZIP} -9n -c ${PROJECT_SOURCE_DIR}/CHANGELOG.md > ${gz_upstream}
        DEPENDS ${PROJECT_BINARY_DIR}/debian/changelog CHANGELOG.md
        COMMENT "Compressing the Debian and upstream changelogs")
    add_custom_target(tovakDebianChangelogs ALL DEPENDS ${gz_debian} ${gz_upstream})
    foreach(component Runtime Development)
        if(component STREQUAL "Runtime")
            set(package ${TOVAK_DEB_RUNTIME})
        else()
            set(package ${TOVAK_DEB_DEV})
        endif()
        install(FILES ${PROJECT_BINARY_DIR}/debian/copyright ${gz_debian} ${gz_upstream}
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component})
    endforeach()
endif()

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "The tovakWrapper developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# CPack's DEB generator puts a non-default summary in front of each component's
# own description; the default one it leaves out, and the components say what
# they are.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${CMAKE_PROJECT_NAME} built using CMake")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL Runtime Development)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE ${TOVAK_DEB_REVISION})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TOVAK_DEBIAN_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SOURCE tovakwrapper)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# shlibs: programs built against 0.2.x need a runtime package of at least the
# version they were built with (only the package holding the library gets one).
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

set(TOVAK_DEB_ABOUT [=[
tovakWrapper reads or writes one field of a whole group of Command, Feedback
and Info device messages in a single call, through a plain C interface. It is
meant for hosts whose every call into native code is costly (a numerical
scripting environment, Python through ctypes, any foreign function interface),
so that commanding twelve devices, or reading their feedback, costs one call
instead of twelve. Values move bit for bit; high-resolution angles are
converted identically on every build. The library allocates nothing, does no
I/O, takes no locks and needs only the C library.]=])

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${TOVAK_DEB_RUNTIME})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
    "batched field access to device messages - shared library\n${TOVAK_DEB_ABOUT}\n\nThis package contains the shared library.")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/debian/triggers)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/debian/drop-ldconfig-scripts.cmake)

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME ${TOVAK_DEB_DEV})
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "${TOVAK_DEB_RUNTIME} (= ${TOVAK_DEB_VERSION})")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
    "batched field access to device messages - development files\n${TOVAK_DEB_ABOUT}\n\nThis package contains the C header, the CMake package\n(find_package(tovakWrapper)) and the pkg-config file.")

include(CPack)
