# Writes the bytes of INPUT as a C++ array named SYMBOL into OUTPUT.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" hexLength)
math(EXPR size "${hexLength} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
file(WRITE ${OUTPUT} "// Generated from the compiled resource script; do not edit.\n#include <cstddef>\n#include <cstdint>\nextern const uint8_t ${SYMBOL}[] = {\n${bytes}\n};\nextern const size_t ${SYMBOL}Size = ${size};\n")
