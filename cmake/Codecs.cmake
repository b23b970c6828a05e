# The two codec libraries, through their Debian packages' public headers.
pkg_check_modules(MAD REQUIRED IMPORTED_TARGET mad)
add_library(tunekiln::mad ALIAS PkgConfig::MAD)

find_path(LAME_INCLUDE_DIR lame/lame.h REQUIRED)
find_library(LAME_LIBRARY NAMES mp3lame REQUIRED)
add_library(tunekiln_lame INTERFACE)
target_include_directories(tunekiln_lame INTERFACE ${LAME_INCLUDE_DIR})
target_link_libraries(tunekiln_lame INTERFACE ${LAME_LIBRARY})
add_library(tunekiln::mp3lame ALIAS tunekiln_lame)

# The loudness meter (EBU R128), through its Debian package's pkg-config file.
pkg_check_modules(EBUR128 REQUIRED IMPORTED_TARGET libebur128)
add_library(tunekiln::ebur128 ALIAS PkgConfig::EBUR128)

# FLAC, Ogg Vorbis and Opus input.
pkg_check_modules(SNDFILE REQUIRED IMPORTED_TARGET sndfile)
add_library(tunekiln::sndfile ALIAS PkgConfig::SNDFILE)
