# The layer rule, checked over the source tree (cmake -DROOT=DIR -P layer_check.cmake).
#
# Layers, lowest first; a file may include its own layer and the layers below:
#   0 platform/   1 runtime/   2 store/
#   3 console/ display/ ntcip/ comm/ peripherals/  (the subsystems: they may include each other)
#   4 frontpanel/ web/
#   5 startup/ (the composition of the whole firmware) and app/
# tests/, tools/ and bench/ may include anything.
#
# Every include is resolved as the compiler does (quoted: beside the file
# first, then from the tree's root; angle brackets: from the root) and
# normalised ("./", "../"), so no spelling of a path walks around the rule.
# Firmware folders (all but platform/ and app/) may not include the host's
# own headers (POSIX, sockets, threads, files, clocks): only the platform
# layer touches the host.
# Exceptions:
#   - ntcip/clock/calendar.h (calendar conversion, dependent only on the runtime)
#     may be included from any layer above the runtime.
#   - Host faces: platform/kernel/host.h, platform/monitor/monitor_host.h and
#     platform/netstack/internal.h are for the platform and the host program
#     (app/), never for firmware code; platform/picture/png.h is for the
#     platform and tools/ only.
#   - The IP stack of the serial links (lwIP: lwip/, netif/, arch/ headers)
#     is included by platform/ alone, as is its face platform/netstack/link_stack.h.
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
set(HOST_FOLDERS platform app)

set(FIRMWARE_HOST_FACES platform/kernel/host.h platform/monitor/monitor_host.h
                        platform/netstack/internal.h)
set(PLATFORM_ONLY_FACES platform/picture/png.h platform/netstack/link_stack.h)
set(OPEN_TO_UPPER_LAYERS ntcip/clock/calendar.h)
# The host's headers that firmware code may not include.
set(HOST_HEADERS
    "^(unistd|pthread|fcntl|poll|termios|dirent|netdb|signal|semaphore|sched|pty|ifaddrs|time|dlfcn)\\.h$"
    "^(sys|netinet|arpa|net|linux|asm)/"
    "^(thread|mutex|shared_mutex|condition_variable|future|chrono|csignal|fstream|filesystem)$")

# Resolves an include as written in a file of folder `dir` to a path from
# the root, normalised; empty when it names a header outside the tree.
function(resolve_include out dir delimiter written)
  cmake_path(SET from_root NORMALIZE "${written}")
  cmake_path(SET beside NORMALIZE "${dir}/${written}")
  set(result "")
  if(delimiter STREQUAL "\"" AND EXISTS "${ROOT}/${beside}" AND NOT beside MATCHES "^\\.\\./")
    set(result ${beside})
  elseif(EXISTS "${ROOT}/${from_root}" AND NOT from_root MATCHES "^\\.\\./")
    set(result ${from_root})
  else()
    # Not in the tree (a planted or generated name): a path that starts with
    # "." is read beside the file, any other from the root.
    if(written MATCHES "^\\.")
      set(candidate ${beside})
    else()
      set(candidate ${from_root})
    endif()
    string(REGEX REPLACE "/.*" "" first "${candidate}")
    if(DEFINED LAYER_${first} AND candidate MATCHES "/")
      set(result ${candidate})
    endif()
  endif()
  set(${out} "${result}" PARENT_SCOPE)
endfunction()

# The reason why `relative` (in `folder`) may not include `target`; empty when it may.
function(layer_reason out folder relative target)
  set(from ${LAYER_${folder}})
  string(REGEX REPLACE "/.*" "" target_folder ${target})
  set(reason "")
  if(target IN_LIST FIRMWARE_HOST_FACES)
    if(NOT folder IN_LIST HOST_FOLDERS)
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
    if(LAYER_${target_folder} GREATER from)
      set(reason "${folder}/ (layer ${from}) may not include ${target} (layer ${LAYER_${target_folder}})")
    endif()
  endif()
  set(${out} "${reason}" PARENT_SCOPE)
endfunction()

function(host_header_reason out folder written)
  set(reason "")
  if(NOT folder IN_LIST HOST_FOLDERS)
    foreach(pattern ${HOST_HEADERS})
      if(written MATCHES "${pattern}")
        set(reason "firmware code includes the host header <${written}>: only platform/ touches the host")
      endif()
    endforeach()
  endif()
  set(${out} "${reason}" PARENT_SCOPE)
endfunction()

set(violations 0)
foreach(folder ${CHECKED_FOLDERS})
  file(GLOB_RECURSE sources ${ROOT}/${folder}/*.h ${ROOT}/${folder}/*.cpp ${ROOT}/${folder}/*.cc)
  foreach(source ${sources})
    file(RELATIVE_PATH relative ${ROOT} ${source})
    get_filename_component(dir ${relative} DIRECTORY)
    file(STRINGS ${source} lines)
    set(line_number 0)
    foreach(line IN LISTS lines)
      math(EXPR line_number "${line_number} + 1")
      if(NOT line MATCHES "^[ \t]*#[ \t]*include[ \t]*([<\"])([^\">]+)[\">]")
        continue()
      endif()
      set(delimiter "${CMAKE_MATCH_1}")
      set(written "${CMAKE_MATCH_2}")
      cmake_path(SET normal NORMALIZE "${written}")
      resolve_include(target ${dir} "${delimiter}" "${written}")
      set(reason "")
      if(normal MATCHES "^(lwip|netif|arch)/" AND NOT folder STREQUAL "platform" AND NOT target)
        set(reason "only platform/ includes the IP stack's headers (lwIP)")
      elseif(target)
        layer_reason(reason ${folder} ${relative} ${target})
      else()
        host_header_reason(reason ${folder} "${normal}")
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
