# Writes INPUT as a byte array into OUTPUT: cmake -DINPUT=... -DOUTPUT=... -DSYMBOL=... -P Embed.cmake
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" length)
math(EXPR size "${length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){24})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
"// Generated from ${INPUT}; do not edit.\n"
"#include <cstddef>\n"
"namespace trovalen::sim {\n"
"extern const unsigned char ${SYMBOL}[];\n"
"extern const std::size_t ${SYMBOL}Size;\n"
"const unsigned char ${SYMBOL}[] = {\n${bytes}0x00};\n"
"const std::size_t ${SYMBOL}Size = ${size};\n"
"} // namespace trovalen::sim\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
