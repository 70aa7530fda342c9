# SPDX-License-Identifier: MIT
# CPack post-build script. CPack's DEB generator (CMake 3.25) gives every
# package with a library under /usr/lib a postinst and a postrm that only run
# ldconfig. The runtime package has the ldconfig trigger instead, which does
# the same once per dpkg run, so those two scripts are dropped by unpacking
# the package and building it again with dpkg-deb.
find_program(DPKG_DEB dpkg-deb REQUIRED)
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
    set(tree "${deb}.tree")
    file(REMOVE_RECURSE "${tree}")
    execute_process(COMMAND ${DPKG_DEB} --raw-extract "${deb}" "${tree}" COMMAND_ERROR_IS_FATAL ANY)
    if(NOT EXISTS "${tree}/DEBIAN/triggers")
        file(REMOVE_RECURSE "${tree}")
        continue()
    endif()
    foreach(script postinst postrm)
        if(EXISTS "${tree}/DEBIAN/${script}")
            file(STRINGS "${tree}/DEBIAN/${script}" lines REGEX "^[^#]")
            list(FILTER lines EXCLUDE REGEX "^(set -e|fi|if .*(configure|remove).*|[ \t]*ldconfig)$")
            if(lines)
                message(FATAL_ERROR "${script} of ${deb} does more than run ldconfig: ${lines}")
            endif()
            file(REMOVE "${tree}/DEBIAN/${script}")
        endif()
    endforeach()
    execute_process(COMMAND ${DPKG_DEB} --root-owner-group -Zxz --build "${tree}" "${deb}"
        OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
    file(REMOVE_RECURSE "${tree}")
endforeach()
