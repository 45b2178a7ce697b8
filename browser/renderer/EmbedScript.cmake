# Turns a .js file into a C++ header holding its text as a raw string literal.
# Usage: cmake -DINPUT=app.js -DOUTPUT=AppScript.inc -DNAME=kAppScript -P EmbedScript.cmake
file(READ ${INPUT} text)
file(WRITE ${OUTPUT} "// Generated from ${INPUT}; edit that file.\ninline constexpr char ${NAME}[] = R\"tavojs(${text})tavojs\";\n")
