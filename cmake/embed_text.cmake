# Writes a C++ source defining `const char* const kSchema_<NAME>` with the text of file IN.
file(READ "${IN}" content)
set(delim "zdvz_embed")
file(WRITE "${OUT}" "// Generated from ${NAME}.sql; edit that file instead.\n"
  "namespace zodadovez {\nextern const char* const kSchema_${NAME};\n"
  "const char* const kSchema_${NAME} = R\"${delim}(${content})${delim}\";\n}\n")
