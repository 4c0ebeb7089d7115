# The display EPLD's built-in configuration images: the host tool epldgen
# makes the six placeholder images and writes them, zlib-compressed, as the
# firmware's built-in EPLD table. The names are the images' names, in table
# order (image 1 first). A host tool that only runs at build time, built on its
# own (the tools/ rule leaves a tool that a fragment has already defined alone).
add_executable(epldgen ${CMAKE_SOURCE_DIR}/tools/epldgen/epldgen.cpp)
target_link_libraries(epldgen PRIVATE ZLIB::ZLIB)

set(EPLD_TABLE_CPP ${CMAKE_BINARY_DIR}/generated/display/builtin_eplds.cpp)
add_custom_command(
  OUTPUT ${EPLD_TABLE_CPP}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/generated/display
  COMMAND epldgen ${EPLD_TABLE_CPP} LEDDRV-M1 LEDDRV-M2 LEDDRV-M3 LEDDRV-M4 LEDDRV-C1 LEDDRV-C2
  DEPENDS epldgen ${CMAKE_SOURCE_DIR}/tools/embed/embed.h
  COMMENT "Generating the built-in EPLD table"
  VERBATIM)
list(APPEND FIRMWARE_EXTRA_SOURCES ${EPLD_TABLE_CPP})
