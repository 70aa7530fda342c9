# SPDX-License-Identifier: MIT
# Undoes `cmake --install` from one build directory: removes every file its
# install manifests list (install_manifest.txt, and install_manifest_<Component>.txt
# after a --component install), then each directory this leaves empty, up
# through its parents while they are empty too.
#
#   cmake -P cmake/uninstall.cmake BUILD_DIR
#
# Manifests hold one path per line, so paths with spaces are safe.
if(NOT CMAKE_ARGC EQUAL 4)
    message(FATAL_ERROR "usage: cmake -P cmake/uninstall.cmake BUILD_DIR")
endif()
set(build "${CMAKE_ARGV3}")
file(GLOB manifests "${build}/install_manifest*.txt")
if(NOT manifests)
    message(FATAL_ERROR "${build} holds no install_manifest*.txt: nothing was installed from it")
endif()

set(directories "")
foreach(manifest IN LISTS manifests)
    file(STRINGS "${manifest}" files)
    foreach(path IN LISTS files)
        if(EXISTS "${path}" OR IS_SYMLINK "${path}")
            message(STATUS "Removing ${path}")
            file(REMOVE "${path}")
        endif()
        get_filename_component(directory "${path}" DIRECTORY)
        list(APPEND directories "${directory}")
    endforeach()
endforeach()
list(REMOVE_DUPLICATES directories)

foreach(directory IN LISTS directories)
    while(IS_DIRECTORY "${directory}" AND NOT directory STREQUAL "/")
        file(GLOB entries LIST_DIRECTORIES true "${directory}/*" "${directory}/.*")
        if(entries)
            break()
        endif()
        message(STATUS "Removing empty directory ${directory}")
        file(REMOVE_RECURSE "${directory}")
        get_filename_component(directory "${directory}" DIRECTORY)
    endwhile()
endforeach()
