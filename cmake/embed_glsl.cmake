# Writes the GLSL sources into one C++ include, each file a raw string named after it:
# cmake -DOUT=file.inc -DSOURCES="a.glsl|b.glsl" -P embed_glsl.cmake
string(REPLACE "|" ";" SOURCES "${SOURCES}")
set(text "// Made from the .glsl files at build time; edit those instead.\n")
foreach(source ${SOURCES})
  get_filename_component(name ${source} NAME_WE)
  file(READ ${source} body)
  string(APPEND text "constexpr const char* k_glsl_${name} = R\"glsl(${body})glsl\";\n")
endforeach()
file(WRITE ${OUT}.new "${text}")
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different ${OUT}.new ${OUT})
