# cmake -DIN=file -DOUT=file.cpp -DID=identifier -P embed_file.cmake
# Writes the bytes of IN as a C++ array named ID (with ID_size) into OUT.
file(READ "${IN}" hex HEX)
file(SIZE "${IN}" size)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," body "${hex}")
file(WRITE "${OUT}.tmp"
  "// Generated from ${IN}; do not edit.\n#include <cstddef>\n"
  "extern const char ${ID}[];\nextern const std::size_t ${ID}_size;\n"
  "const char ${ID}[] = {${body}'\\0'};\nconst std::size_t ${ID}_size = ${size};\n")
file(RENAME "${OUT}.tmp" "${OUT}")
