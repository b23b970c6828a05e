# A Debian package of both programs, the desktop entry, the icons, manual pages and metadata:
# cpack --config build/default/CPackConfig.cmake.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tunekiln)
set(CPACK_PACKAGE_VENDOR "tunekiln developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Small sound tool: play MP3 and WAV, process WAV files, save as MP3")
set(CPACK_PACKAGE_DESCRIPTION "tunekiln is a small desktop sound tool. Its window plays MP3 and WAV files
through the user's sound server and decodes them into WAV files. It extracts
the left or right channel of a WAV file, clears its centre voice, changes its
volume and cuts a time range, and it saves WAV, AIFF or raw PCM files as MP3.

tunekiln-cli offers the same file operations from the command line, for
scripts and batch work.

Neither program ever changes the file it reads, and an existing output file is
replaced only by a complete, correct result.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "tunekiln developers <dev@tunekiln.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)  # the libraries' packages, found from the programs
# The window's two Chinese texts need a font with CJK characters, which Debian's defaults lack.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk | fonts-wqy-microhei")
# Stripped programs; their debug symbols go to tunekiln-dbgsym, found by build ID.
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/DebugSymbolsPackage.cmake)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
