# Turns a file into a C++ source defining it as a constant byte array.
#   cmake -DINPUT=file -DOUTPUT=file.cpp -DNAME=symbol -DHEADER=decl.h -P bin2c.cmake
# The source includes HEADER, whose declaration fixes the array's size, so a
# resource of the wrong size fails to compile instead of being cut or padded.
foreach(var INPUT OUTPUT NAME HEADER)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "bin2c.cmake: ${var} is not set")
  endif()
endforeach()

file(SIZE "${INPUT}" size)
file(READ "${INPUT}" hex HEX)

# Sixteen bytes to a line keeps the generated file readable in a diff tool.
string(REPEAT "[0-9a-f][0-9a-f]" 16 line_pattern)
string(REGEX REPLACE "(${line_pattern})" "\\1\n" hex "${hex}")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")

string(CONCAT source
  "// Generated from ${INPUT} by bin2c.cmake; do not edit.\n"
  "#include \"${HEADER}\"\n\n"
  "const unsigned char ${NAME}[${size}] = {\n${bytes}\n};\n")
# Only touch the output when it changes, so a re-run does not force a rebuild.
set(previous "")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" previous)
endif()
if(NOT previous STREQUAL source)
  file(WRITE "${OUTPUT}" "${source}")
endif()
