# Writes a header that holds a text file as a C++ string constant:
#   cmake -DINPUT=icon.svg -DOUTPUT=icon.h -DNAME=kIcon -P embed_file.cmake
file(READ "${INPUT}" content)
file(WRITE "${OUTPUT}" "#pragma once\n// Made by the build from ${INPUT}.\ninline constexpr char ${NAME}[] = R\"embedded(${content})embedded\";\n")
