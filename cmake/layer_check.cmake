# The layer rule, checked over the source tree (cmake -DROOT=DIR -P layer_check.cmake).
#
# Layers, lowest first; a file may include its own layer and the layers below:
#   0 platform/   1 runtime/   2 store/
#   3 console/ display/ ntcip/ comm/ peripherals/  (the subsystems: they may include each other)
#   4 frontpanel/ web/
#   5 startup/ (the composition of the whole firmware) and app/
# tests/, tools/ and bench/ may include anything.
# Exceptions:
#   - ntcip/clock/calendar.h (calendar conversion, dependent only on the runtime)
#     may be included from any layer above the runtime.
#   - Host faces: platform/kernel/host.h, platform/monitor/monitor_host.h and
#     platform/netstack/internal.h are for the platform and the host program
#     (app/), never for firmware code; platform/picture/png.h is for the
#     platform and tools/ only.
#   - The IP stack of the serial links (lwIP: lwip/, netif/, arch/ headers)
#     is included by platform/ alone, as is its face platform/netstack/link_stack.h.
#   - Two store files still reach the display, until the display's classic
#     colours and font decoding have an interface the store owns (listed
#     below by file and include; no other may join them).
# Every violation is printed as FILE:LINE: reason; any violation fails.

cmake_minimum_required(VERSION 3.20)

if(NOT ROOT)
  message(FATAL_ERROR "layer_check: give -DROOT=<source tree>")
endif()

set(LAYER_platform 0)
set(LAYER_runtime 1)
set(LAYER_store 2)
foreach(folder console display ntcip comm peripherals)
  set(LAYER_${folder} 3)
endforeach()
set(LAYER_frontpanel 4)
set(LAYER_web 4)
set(LAYER_startup 5)
set(LAYER_app 5)
set(CHECKED_FOLDERS platform runtime store console display ntcip comm peripherals frontpanel web
                    startup app)

set(FIRMWARE_HOST_FACES platform/kernel/host.h platform/monitor/monitor_host.h
                        platform/netstack/internal.h)
set(PLATFORM_ONLY_FACES platform/picture/png.h platform/netstack/link_stack.h)
set(OPEN_TO_UPPER_LAYERS ntcip/clock/calendar.h)
set(KNOWN_UPWARD_INCLUDES "store/defaults_dms.cpp>display/message.h"
                          "store/fonts.cpp>display/fonts/mirel_font.h")

set(violations 0)
foreach(folder ${CHECKED_FOLDERS})
  file(GLOB_RECURSE sources ${ROOT}/${folder}/*.h ${ROOT}/${folder}/*.cpp ${ROOT}/${folder}/*.cc)
  foreach(source ${sources})
    file(RELATIVE_PATH relative ${ROOT} ${source})
    set(from ${LAYER_${folder}})
    file(STRINGS ${source} lines)
    set(line_number 0)
    foreach(line IN LISTS lines)
      math(EXPR line_number "${line_number} + 1")
      if(line MATCHES "^[ \t]*#[ \t]*include[ \t]*[<\"](lwip|netif|arch)/" AND NOT folder STREQUAL "platform")
        message("${relative}:${line_number}: only platform/ includes the IP stack's headers (lwIP)")
        math(EXPR violations "${violations} + 1")
        continue()
      endif()
      if(NOT line MATCHES "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\"")
        continue()
      endif()
      set(target ${CMAKE_MATCH_1})
      string(REGEX REPLACE "/.*" "" target_folder ${target})
      set(reason "")
      if(target IN_LIST FIRMWARE_HOST_FACES)
        if(NOT folder STREQUAL "platform" AND NOT folder STREQUAL "app")
          set(reason "firmware code includes the host face ${target}")
        endif()
      elseif(target IN_LIST PLATFORM_ONLY_FACES)
        if(NOT folder STREQUAL "platform")
          set(reason "${target} is for the platform and tools/ only")
        endif()
      elseif(target IN_LIST OPEN_TO_UPPER_LAYERS)
        if(from LESS 2)
          set(reason "${folder}/ may not include ${target}, which is open to the layers above the runtime")
        endif()
      elseif(DEFINED LAYER_${target_folder})
        if(LAYER_${target_folder} GREATER from AND NOT "${relative}>${target}" IN_LIST
                                                   KNOWN_UPWARD_INCLUDES)
          set(reason "${folder}/ (layer ${from}) may not include ${target} (layer ${LAYER_${target_folder}})")
        endif()
      endif()
      if(reason)
        message("${relative}:${line_number}: ${reason}")
        math(EXPR violations "${violations} + 1")
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations GREATER 0)
  message(FATAL_ERROR "layer rule: ${violations} include(s) break it (ARCHITECTURE.md, Layers)")
endif()
message("layer rule: kept")
