# The Debian package, built by cpack -G DEB in the build folder (scripts/package.sh does it from a clean clone).
# CPack rather than a debian/ folder: the build files already know the version, the install layout and every file
# to ship, so the package needs no second description of them, and it builds without a Debian source package.

set(TWINSPOTTER_MAINTAINER "QuillNet <twinspotter@quillnet.example>")

# Debian wants the package's changelog and copyright under /usr/share/doc/<package>.
execute_process(COMMAND date -u -R -d "${TWINSPOTTER_RELEASE_DATE}"
                OUTPUT_VARIABLE TWINSPOTTER_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in ${PROJECT_BINARY_DIR}/packaging/changelog @ONLY)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/packaging/changelog.gz
                   COMMAND gzip -9 -n -k -f changelog
                   WORKING_DIRECTORY ${PROJECT_BINARY_DIR}/packaging
                   DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog
                   VERBATIM)
add_custom_target(twinspotter_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${PROJECT_BINARY_DIR}/packaging/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME twinspotter)
set(CPACK_PACKAGE_VENDOR QuillNet)
set(CPACK_PACKAGE_CONTACT "${TWINSPOTTER_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find files that exist twice and remove the extra copies")
set(CPACK_PACKAGE_DESCRIPTION_FILE ${CMAKE_CURRENT_LIST_DIR}/description.txt)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps reads the libraries the programs link and writes the Depends line.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)
