# SPDX-License-Identifier: MIT
# The API reference (`docs` target, HTML in <build>/docs/html), built with
# Doxygen from every public header and the front page, warnings as errors. Off by default:
# neither a normal build nor an install needs Doxygen.
option(TOVAK_BUILD_DOCS "Add the `docs` target: the API reference, built with Doxygen" OFF)
if(TOVAK_BUILD_DOCS)
    find_package(Doxygen REQUIRED)
    set(TOVAK_DOCS_OUTPUT ${PROJECT_BINARY_DIR}/docs)
    file(MAKE_DIRECTORY ${TOVAK_DOCS_OUTPUT})
    configure_file(${PROJECT_SOURCE_DIR}/docs/Doxyfile.in ${TOVAK_DOCS_OUTPUT}/Doxyfile @ONLY)
    file(GLOB TOVAK_DOCS_HEADERS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/include/*.h)
    add_custom_target(docs
        COMMAND Doxygen::doxygen ${TOVAK_DOCS_OUTPUT}/Doxyfile
        DEPENDS ${TOVAK_DOCS_HEADERS} ${PROJECT_SOURCE_DIR}/docs/mainpage.md
                ${PROJECT_SOURCE_DIR}/examples/quickstart.c ${TOVAK_DOCS_OUTPUT}/Doxyfile
        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
        COMMENT "API reference: ${TOVAK_DOCS_OUTPUT}/html/index.html"
        VERBATIM)
endif()
