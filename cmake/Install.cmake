# SPDX-License-Identifier: MIT
# Install rules, in two components:
#   Runtime      the versioned shared libraries (libtovakWrapper and the
#                call-list library libtovakWrapperCalls) and their SONAME links
#   Development  the headers, the two .so namelinks, the CMake package (with
#                the targets tovakWrapper::tovakWrapper and
#                tovakWrapper::tovakWrapperCalls) and the two pkg-config files;
#                on Windows also the MinGW import libraries (lib/) and the
#                MSVC ones with their .def files (bin/, beside the DLLs)
# plus, with TOVAK_DEBIAN_PACKAGES, the files Debian wants in /usr/share/doc.
include(CMakePackageConfigHelpers)

# First, on every install (any component), the directories that do not exist
# yet are appended to <build>/install_directories.txt: cmake/uninstall.cmake
# removes those, once empty, and never a directory that was there before.
set(TOVAK_INSTALL_DIRS ${CMAKE_INSTALL_INCLUDEDIR} ${CMAKE_INSTALL_LIBDIR}/cmake/tovakWrapper
    ${CMAKE_INSTALL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_BINDIR})
set(TOVAK_RECORD_DIRS [=[
foreach(_tovak_dir IN ITEMS @TOVAK_INSTALL_DIRS@)
    if(IS_ABSOLUTE "${_tovak_dir}")
        set(_tovak_path "$ENV{DESTDIR}${_tovak_dir}")
    else()
        set(_tovak_path "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${_tovak_dir}")
    endif()
    while(NOT EXISTS "${_tovak_path}")
        file(APPEND "@PROJECT_BINARY_DIR@/install_directories.txt" "${_tovak_path}\n")
        get_filename_component(_tovak_path "${_tovak_path}" DIRECTORY)
    endwhile()
endforeach()
]=])
list(JOIN TOVAK_INSTALL_DIRS "\" \"" TOVAK_INSTALL_DIRS)  # quoted, for spaces
set(TOVAK_INSTALL_DIRS "\"${TOVAK_INSTALL_DIRS}\"")
string(CONFIGURE "${TOVAK_RECORD_DIRS}" TOVAK_RECORD_DIRS @ONLY)
install(CODE "${TOVAK_RECORD_DIRS}" ALL_COMPONENTS)

install(TARGETS tovakWrapper tovakWrapperCalls EXPORT tovakWrapperTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        COMPONENT Runtime NAMELINK_COMPONENT Development
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime)
install(FILES include/tovakWrapper.h include/tovakWrapperCalls.h include/tovakWrapperAccessors.h
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT Development)
if(WIN32)
    # The MSVC import libraries and their module-definition files, beside the DLLs.
    install(FILES ${TOVAK_IMPORT_LIBRARIES} DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Development)
endif()

# CMake package, installed and in the build tree (tovakWrapper_DIR may point
# at a build directory).
set(TOVAK_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/tovakWrapper)
install(EXPORT tovakWrapperTargets NAMESPACE tovakWrapper:: DESTINATION ${TOVAK_CMAKE_DIR}
    COMPONENT Development)
export(EXPORT tovakWrapperTargets NAMESPACE tovakWrapper::
    FILE ${PROJECT_BINARY_DIR}/tovakWrapperTargets.cmake)
configure_package_config_file(cmake/tovakWrapperConfig.cmake.in
    ${PROJECT_BINARY_DIR}/tovakWrapperConfig.cmake INSTALL_DESTINATION ${TOVAK_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/tovakWrapperConfigVersion.cmake
    COMPATIBILITY ${TOVAK_COMPATIBILITY})
install(FILES ${PROJECT_BINARY_DIR}/tovakWrapperConfig.cmake
              ${PROJECT_BINARY_DIR}/tovakWrapperConfigVersion.cmake
        DESTINATION ${TOVAK_CMAKE_DIR} COMPONENT Development)

# The .pc file finds the prefix from its own place, so an installed tree can
# be moved (or installed with --prefix) and still work. The Debian packages
# state /usr itself, which pkg-config then leaves out of the flags it prints.
if(TOVAK_DEBIAN_PACKAGES)
    set(TOVAK_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
    file(RELATIVE_PATH to_prefix "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
    string(REGEX REPLACE "/$" "" to_prefix "${to_prefix}")
    set(TOVAK_PC_PREFIX "\${pcfiledir}/${to_prefix}")
endif()
foreach(dir LIBDIR INCLUDEDIR)
    if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
        set(TOVAK_PC_${dir} "${CMAKE_INSTALL_${dir}}")
    else()
        set(TOVAK_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
    endif()
endforeach()
foreach(pc tovakWrapper tovakWrapperCalls)
    configure_file(cmake/${pc}.pc.in ${PROJECT_BINARY_DIR}/${pc}.pc @ONLY)
    install(FILES ${PROJECT_BINARY_DIR}/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT Development)
endforeach()
