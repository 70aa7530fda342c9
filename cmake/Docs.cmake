# SPDX-License-Identifier: MIT
# The API reference (`docs` target, HTML in <build>/docs/html), built with
# Doxygen from the public headers with warnings as errors. Off by default:
# neither a normal build nor an install needs Doxygen.
option(TOVAK_BUILD_DOCS "Add the `docs` target: the API reference, built with Doxygen" OFF)
if(TOVAK_BUILD_DOCS)
    find_package(Doxygen REQUIRED)
    set(TOVAK_DOCS_OUTPUT ${PROJECT_BINARY_DIR}/docs)
    file(MAKE_DIRECTORY ${TOVAK_DOCS_OUTPUT})
    configure_file(${PROJECT_SOURCE_DIR}/docs/Doxyfile.in ${TOVAK_DOCS_OUTPUT}/Doxyfile @ONLY)
    add_custom_target(docs
        COMMAND Doxygen::doxygen ${TOVAK_DOCS_OUTPUT}/Doxyfile
        DEPENDS ${PROJECT_SOURCE_DIR}/include/tovakWrapper.h
            ${PROJECT_SOURCE_DIR}/include/tovakWrapperCalls.h ${TOVAK_DOCS_OUTPUT}/Doxyfile
        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
        COMMENT "API reference: ${TOVAK_DOCS_OUTPUT}/html/index.html"
        VERBATIM)
endif()
