# A Debian package of both programs, the desktop entry and the icons: cpack -G DEB in a build.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tunekiln)
set(CPACK_PACKAGE_VENDOR "tunekiln developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Small sound tool: play MP3 and WAV, process WAV files, save as MP3")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "tunekiln developers <tunekiln@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)  # the libraries' packages, found from the programs
include(CPack)
