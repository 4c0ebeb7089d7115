# The built-in fonts: the host tool fontgen turns the readable glyph sources
# into zlib-compressed font images and the firmware's built-in font table.
set(FONT_GLYPH_DIR ${CMAKE_CURRENT_LIST_DIR}/fonts/glyphs)
set(FONT_GLYPH_SOURCES
  ${FONT_GLYPH_DIR}/07X04_1_CP1252.FNT.txt
  ${FONT_GLYPH_DIR}/07X06_2_CP1252.FNT.txt
  ${FONT_GLYPH_DIR}/FW11X7_2_CP1252.FNT.txt
  ${FONT_GLYPH_DIR}/FW07X5_1_NEMA4.FNT.txt
  ${FONT_GLYPH_DIR}/08X04_1_CP1252.FNT.txt
  ${FONT_GLYPH_DIR}/08X06_2_CP1252.FNT.txt
  ${FONT_GLYPH_DIR}/FW14X8_2_CP1252.FNT.txt
  ${FONT_GLYPH_DIR}/07GRAPH.FNT.txt
  ${FONT_GLYPH_DIR}/11X07_2.FNT.txt
  ${FONT_GLYPH_DIR}/11X09_3.FNT.txt
  ${FONT_GLYPH_DIR}/14X08_2.FNT.txt
  ${FONT_GLYPH_DIR}/14X10_3.FNT.txt
  ${FONT_GLYPH_DIR}/16X08_2.FNT.txt
  ${FONT_GLYPH_DIR}/16X10_3.FNT.txt
  ${FONT_GLYPH_DIR}/09X06_2_CP1252.FNT.txt
  ${FONT_GLYPH_DIR}/09X05_1_CP1252.FNT.txt
  ${FONT_GLYPH_DIR}/09X08_3_CP1252.FNT.txt
  ${FONT_GLYPH_DIR}/07X08_3_CP1252.FNT.txt
  ${FONT_GLYPH_DIR}/08X08_3_CP1252.FNT.txt
  ${FONT_GLYPH_DIR}/24x15_3_CP1252.FNT.txt)

# A host tool that only runs at build time, built on its own (the tools/ rule
# leaves a tool that a fragment has already defined alone).
add_executable(fontgen ${CMAKE_SOURCE_DIR}/tools/fontgen/fontgen.cpp)
target_link_libraries(fontgen PRIVATE ZLIB::ZLIB)

set(FONT_TABLE_CPP ${CMAKE_BINARY_DIR}/generated/display/builtin_fonts.cpp)
add_custom_command(
  OUTPUT ${FONT_TABLE_CPP}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/generated/display
  COMMAND fontgen ${FONT_TABLE_CPP} ${FONT_GLYPH_SOURCES}
  DEPENDS fontgen ${FONT_GLYPH_SOURCES}
  COMMENT "Generating the built-in font table"
  VERBATIM)
list(APPEND FIRMWARE_EXTRA_SOURCES ${FONT_TABLE_CPP})
