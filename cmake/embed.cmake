# Turns a text file into a C++ source holding it as a string constant
# (used for the meta database schema, which the program carries inside itself).
file(READ ${IN} _content HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," _bytes "${_content}")
file(WRITE ${OUT} "// generated from ${IN}\n#include <string_view>\nnamespace morwick_embedded {\nstatic const char data_${NAME}[] = {${_bytes} 0};\nextern const std::string_view ${NAME};\nconst std::string_view ${NAME}(data_${NAME}, sizeof(data_${NAME}) - 1);\n}\n")
