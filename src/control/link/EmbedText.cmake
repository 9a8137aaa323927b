# cmake -DINPUT=file -DOUTPUT=file.cpp -DNAME=function -P EmbedText.cmake
# Writes a C++ source whose function `std::string_view vyn::NAME()` returns the file's bytes.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hexLength)
math(EXPR size "${hexLength} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
# Break the initialiser into lines of 16 bytes so compilers and editors stay comfortable.
string(REGEX REPLACE "(('\\\\x[0-9a-f][0-9a-f]',){16})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
"// Generated from ${INPUT} by EmbedText.cmake; do not edit.\n"
"#include <string_view>\n\n"
"namespace vyn {\n"
"namespace {\n"
"const char kBytes[${size} + 1] = {\n${bytes}'\\0'};\n"
"} // namespace\n\n"
"std::string_view ${NAME}() {\n"
"    return std::string_view(kBytes, ${size});\n"
"}\n\n"
"} // namespace vyn\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
