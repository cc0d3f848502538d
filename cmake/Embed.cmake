# talvora_embed_files(OUTPUT file.cpp NAMES name1 name2 FILES f1 f2)
#   Writes a C++ file defining, for each file, `extern const unsigned char
#   name[]` and `extern const std::size_t name_size`, so that the program
#   carries resources such as its icons inside itself.
function(talvora_embed_files)
  cmake_parse_arguments(E "" "OUTPUT" "NAMES;FILES" ${ARGN})
  set(text "// Generated from the files named below; do not edit.\n#include <cstddef>\n")
  foreach(name file IN ZIP_LISTS E_NAMES E_FILES)
    file(READ "${file}" hex HEX)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    string(LENGTH "${hex}" hexLength)
    math(EXPR size "${hexLength} / 2")
    string(APPEND text "// ${file}\nextern const unsigned char ${name}[] = {${bytes}};\n"
                       "extern const std::size_t ${name}_size = ${size};\n")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${file}")
  endforeach()
  file(CONFIGURE OUTPUT "${E_OUTPUT}" CONTENT "${text}" @ONLY)
endfunction()
