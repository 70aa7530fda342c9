# SPDX-License-Identifier: MIT
# MSVC import libraries for the Windows DLLs: tovakWrapper.lib and
# tovakWrapperCalls.lib, made at build time beside the DLLs from the
# module-definition files tovakWrapper.def (miInitialize and the accessors of
# include/tovakWrapperAccessors.h, expanded by the C preprocessor) and
# tovakWrapperCalls.def (miRunCalls). llvm-dlltool, when found, makes them in
# the short import format of MSVC's own tools; otherwise MinGW's dlltool does.
# A program built with MSVC's tools links the .lib and runs with the DLL.
#
# CMakeLists.txt includes this file on Windows; each .lib is made by running it
# as a script:
#   cmake -DDLL=name.dll -DDEF=out.def -DLIB=out.lib -DDLLTOOL=tool -DWORK=dir
#         -DEXPORTS=names [-DACCESSORS=include-dir -DCC=c-compiler] -P ImportLibraries.cmake
# EXPORTS are listed first, then, with ACCESSORS, the accessors of the list.

if(CMAKE_SCRIPT_MODE_FILE)
    set(names ${EXPORTS})
    if(ACCESSORS)
        # One name per X(...) of the list, and the list's own count to compare.
        set(source "${WORK}/${DLL}.exports.c")
        file(WRITE "${source}" "#include \"tovakWrapperAccessors.h\"\n"
            "#define TOVAK_EXPORT_NAME(value, ID, function, ...) function\n"
            "TOVAK_COUNT MI_ACCESSOR_COUNT\nMI_ACCESSORS(TOVAK_EXPORT_NAME)\n")
        execute_process(COMMAND ${CC} -E -P -I${ACCESSORS} ${source}
            OUTPUT_VARIABLE expanded RESULT_VARIABLE failed)
        if(failed)
            message(FATAL_ERROR "${CC} could not expand the accessor list")
        endif()
        string(REGEX MATCH "TOVAK_COUNT ([0-9]+)" count "${expanded}")
        set(count "${CMAKE_MATCH_1}")
        string(REGEX MATCHALL "mi[A-Za-z0-9_]+" accessors "${expanded}")
        list(LENGTH accessors found)
        if(NOT count OR NOT found EQUAL count)
            message(FATAL_ERROR "the accessor list expanded to ${found} names, not MI_ACCESSOR_COUNT (${count})")
        endif()
        list(APPEND names ${accessors})
    endif()
    list(JOIN names "\n    " lines)
    file(WRITE "${DEF}" "LIBRARY ${DLL}\nEXPORTS\n    ${lines}\n")
    execute_process(COMMAND ${DLLTOOL} -m i386:x86-64 -d ${DEF} -l ${LIB} RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "${DLLTOOL} could not make ${LIB} from ${DEF}")
    endif()
    return()
endif()

find_program(TOVAK_LLVM_DLLTOOL llvm-dlltool
    DOC "llvm-dlltool, which makes the MSVC import libraries (else MinGW's dlltool does)")
if(TOVAK_LLVM_DLLTOOL)
    set(TOVAK_IMPLIB_TOOL ${TOVAK_LLVM_DLLTOOL})
elseif(CMAKE_DLLTOOL)
    set(TOVAK_IMPLIB_TOOL ${CMAKE_DLLTOOL})
else()
    message(FATAL_ERROR "Neither llvm-dlltool nor MinGW's dlltool was found: one of them makes the "
        "MSVC import libraries (Debian: apt-get install llvm).")
endif()
message(STATUS "MSVC import libraries made by ${TOVAK_IMPLIB_TOOL}")

set(TOVAK_IMPORT_LIBRARIES "")
foreach(target tovakWrapper tovakWrapperCalls)
    set(def ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${target}.def)
    set(lib ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${target}.lib)
    if(target STREQUAL "tovakWrapper")
        set(exports -DEXPORTS=miInitialize -DACCESSORS=${PROJECT_SOURCE_DIR}/include
            -DCC=${CMAKE_C_COMPILER})
    else()
        set(exports -DEXPORTS=miRunCalls)
    endif()
    add_custom_command(OUTPUT ${def} ${lib}
        COMMAND ${CMAKE_COMMAND} -DDLL=$<TARGET_FILE_NAME:${target}> -DDEF=${def} -DLIB=${lib}
            -DDLLTOOL=${TOVAK_IMPLIB_TOOL} -DWORK=${CMAKE_CURRENT_BINARY_DIR} ${exports}
            -P ${CMAKE_CURRENT_LIST_FILE}
        DEPENDS ${CMAKE_CURRENT_LIST_FILE} ${PROJECT_SOURCE_DIR}/include/tovakWrapperAccessors.h
        COMMENT "MSVC import library ${target}.lib"
        VERBATIM)
    list(APPEND TOVAK_IMPORT_LIBRARIES ${def} ${lib})
endforeach()
add_custom_target(tovakImportLibraries ALL DEPENDS ${TOVAK_IMPORT_LIBRARIES})
