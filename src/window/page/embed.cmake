# Writes a C++ source defining `const char* const <SYMBOL>` with the text of file IN.
file(READ "${IN}" content)
set(delim "zdvz_page")
file(WRITE "${OUT}" "// Generated from ${NAME}; edit that file instead.\n"
  "namespace zodadovez::window {\nextern const char* const ${SYMBOL};\n"
  "const char* const ${SYMBOL} = R\"${delim}(${content})${delim}\";\n}\n")
