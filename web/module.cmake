# The web pages' built-in files: the host tool pagegen compresses the page
# templates and the style sheet of web/pages/ into the firmware's table of
# built-in files (web/builtin_files.h). Nothing compressed is kept in the
# tree. A host tool that only runs at build time, built on its own (the tools/
# rule leaves a tool that a fragment has already defined alone).
set(WEB_PAGE_DIR ${CMAKE_CURRENT_LIST_DIR}/pages)
set(WEB_PAGE_SOURCES
  ${WEB_PAGE_DIR}/preindex.html
  ${WEB_PAGE_DIR}/premessage.html
  ${WEB_PAGE_DIR}/prediag.html
  ${WEB_PAGE_DIR}/preview.html
  ${WEB_PAGE_DIR}/prequick.html
  ${WEB_PAGE_DIR}/halvstyle.css)
# The parts the pages include (<!--#include parts/NAME-->), expanded by pagegen.
set(WEB_PAGE_PARTS ${WEB_PAGE_DIR}/parts/head.html ${WEB_PAGE_DIR}/parts/banner.html
                   ${WEB_PAGE_DIR}/parts/foot.html)

add_executable(pagegen ${CMAKE_SOURCE_DIR}/tools/pagegen/pagegen.cpp)
target_link_libraries(pagegen PRIVATE ZLIB::ZLIB)

set(WEB_FILE_TABLE_CPP ${CMAKE_BINARY_DIR}/generated/web/builtin_files.cpp)
add_custom_command(
  OUTPUT ${WEB_FILE_TABLE_CPP}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/generated/web
  COMMAND pagegen ${WEB_FILE_TABLE_CPP} ${WEB_PAGE_SOURCES}
  DEPENDS pagegen ${WEB_PAGE_SOURCES} ${WEB_PAGE_PARTS} ${CMAKE_SOURCE_DIR}/tools/embed/embed.h
  COMMENT "Generating the web pages' built-in files"
  VERBATIM)
list(APPEND FIRMWARE_EXTRA_SOURCES ${WEB_FILE_TABLE_CPP})
