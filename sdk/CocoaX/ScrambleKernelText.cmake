# Writes a C++ source that holds a kernel text with the two 4-bit halves of every byte
# exchanged, so the plain text never appears in the program.
#   cmake -DINPUT=<text> -DOUTPUT=<source> -DSYMBOL=<name> -P ScrambleKernelText.cmake
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR length "${digits} / 2")
# In hexadecimal the exchange is just the two digits of each byte in the other order.
set(bytes "")
set(index 0)
while(index LESS length)
    math(EXPR at "${index} * 2")
    string(SUBSTRING "${hex}" ${at} 2 byte)
    string(REGEX REPLACE "(.)(.)" "0x\\2\\1," byte "${byte}")
    math(EXPR column "${index} % 12")
    if(column EQUAL 11)
        string(APPEND bytes "${byte}\n    ")
    else()
        string(APPEND bytes "${byte} ")
    endif()
    math(EXPR index "${index} + 1")
endwhile()
file(WRITE "${OUTPUT}.new"
"// Generated from ${INPUT}; do not edit.\n"
"#include <cstddef>\n#include <cstdint>\n\n"
"// A zero byte ends the array so that an empty text still gives a valid one.\n"
"extern const uint8_t ${SYMBOL}[] = {\n    ${bytes}0x00};\n"
"extern const size_t ${SYMBOL}_length = ${length};\n")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
