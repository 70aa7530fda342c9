# SPDX-License-Identifier: MIT
# Undoes `cmake --install` from one build directory: removes every file its
# install manifests list (install_manifest.txt, and install_manifest_<Component>.txt
# after a --component install), then, deepest first, each directory that an
# install created (install_directories.txt, written by the install rules) and
# that is now empty. A directory that existed before the install stays.
#
#   cmake -P cmake/uninstall.cmake BUILD_DIR
#
# Both lists hold one path per line, so paths with spaces are safe.
if(NOT CMAKE_ARGC EQUAL 4)
    message(FATAL_ERROR "usage: cmake -P cmake/uninstall.cmake BUILD_DIR")
endif()
set(build "${CMAKE_ARGV3}")
file(GLOB manifests "${build}/install_manifest*.txt")
if(NOT manifests)
    message(FATAL_ERROR "${build} holds no install_manifest*.txt: nothing was installed from it")
endif()

foreach(manifest IN LISTS manifests)
    file(STRINGS "${manifest}" files)
    foreach(path IN LISTS files)
        if(EXISTS "${path}" OR IS_SYMLINK "${path}")
            message(STATUS "Removing ${path}")
            file(REMOVE "${path}")
        endif()
    endforeach()
endforeach()

set(created "${build}/install_directories.txt")
if(EXISTS "${created}")
    file(STRINGS "${created}" directories)
    list(REMOVE_DUPLICATES directories)
    # Deepest first: a longer path is never the parent of a shorter one.
    set(by_length "")
    foreach(directory IN LISTS directories)
        string(LENGTH "${directory}" length)
        math(EXPR key "100000 + ${length}")
        list(APPEND by_length "${key}|${directory}")
    endforeach()
    list(SORT by_length ORDER DESCENDING)
    foreach(entry IN LISTS by_length)
        string(REGEX REPLACE "^[0-9]+\\|" "" directory "${entry}")
        if(IS_DIRECTORY "${directory}")
            file(GLOB entries LIST_DIRECTORIES true "${directory}/*" "${directory}/.*")
            if(NOT entries)
                message(STATUS "Removing empty directory ${directory}")
                file(REMOVE_RECURSE "${directory}")
            endif()
        endif()
    endforeach()
    file(REMOVE "${created}")
endif()
