# The layer check's own test (cmake -DCHECK=layer_check.cmake -DWORK=DIR -P ...):
# small trees, each with one include, must pass or fail as the rule says.
cmake_minimum_required(VERSION 3.20)

# case: NAME FILE INCLUDED EXPECT(pass|fail) [message fragment] [header to create]
# INCLUDED is written between quotes unless it starts with "<"; the header to
# create (a path from the root) makes the tree hold the included file, so that
# it resolves as the compiler would find it.
set(CASES
    "upward_from_store|store/a.cpp|peripherals/p.h|fail|store/ (layer 2) may not include peripherals/p.h"
    "upward_from_runtime|runtime/a.h|console/monitor_task.h|fail|runtime/ (layer 1) may not include"
    "subsystems_to_web|comm/a.cpp|web/pages.h|fail|may not include web/pages.h"
    "host_face_in_firmware|display/a.cpp|platform/kernel/host.h|fail|host face platform/kernel/host.h"
    "monitor_host_face|startup/a.cpp|platform/monitor/monitor_host.h|fail|host face"
    "netstack_host_face|runtime/a.cpp|platform/netstack/internal.h|fail|host face"
    "png_outside_platform|app/a.cpp|platform/picture/png.h|fail|for the platform and tools/ only"
    "lwip_outside_platform|comm/a.cpp|lwip/tcp.h|fail|only platform/ includes the IP stack"
    "lwip_in_platform|platform/netstack/a.cpp|lwip/tcp.h|pass|"
    "link_stack_face|comm/a.cpp|platform/netstack/link_stack.h|fail|for the platform and tools/ only"
    "calendar_below_store|runtime/a.cpp|ntcip/clock/calendar.h|fail|open to the layers above"
    "calendar_from_store|store/a.cpp|ntcip/clock/calendar.h|pass|"
    "downward|store/a.cpp|runtime/os.h|pass|"
    "between_subsystems|display/a.cpp|comm/comm_task.h|pass|"
    "composition|startup/a.cpp|peripherals/peripheral_task.h|pass|"
    "host_program|app/a.cpp|platform/kernel/host.h|pass|"
    "platform_itself|platform/kernel/a.cpp|platform/kernel/host.h|pass|"
    "tests_anything|tests/store/a.cpp|platform/netstack/internal.h|pass|"
    "tools_png|tools/fontsheet/a.cpp|platform/picture/png.h|pass|"
    "angle_brackets|store/notify.cpp|<display/message.h>|fail|may not include display/message.h|display/message.h"
    "dot_slash|store/notify.cpp|./display/message.h|fail|may not include display/message.h|display/message.h"
    "dot_dot_within|store/notify.cpp|store/../display/message.h|fail|may not include display/message.h|display/message.h"
    "dot_dot_beside|store/notify.cpp|../display/message.h|fail|may not include display/message.h|display/message.h"
    "host_face_walked|store/notify.cpp|platform/kernel/../kernel/host.h|fail|host face platform/kernel/host.h|platform/kernel/host.h"
    "beside_own_folder|display/a.cpp|message.h|pass||display/message.h"
    "unistd|store/notify.cpp|<unistd.h>|fail|host header <unistd.h>"
    "thread|store/notify.cpp|<thread>|fail|host header <thread>"
    "sockets|comm/a.cpp|<sys/socket.h>|fail|host header <sys/socket.h>"
    "file_streams|web/a.cpp|<fstream>|fail|host header <fstream>"
    "clocks|runtime/a.cpp|<chrono>|fail|host header <chrono>"
    "standard_library|store/a.cpp|<cstring>|pass|"
    "host_in_platform|platform/kernel/a.cpp|<thread>|pass|"
    "host_in_app|app/a.cpp|<sys/socket.h>|pass|")

set(failures 0)
foreach(case ${CASES})
  string(REPLACE "|" ";" fields "${case}")
  list(GET fields 0 name)
  list(GET fields 1 file)
  list(GET fields 2 included)
  list(GET fields 3 expect)
  list(GET fields 4 fragment)
  list(LENGTH fields count)
  set(tree ${WORK}/${name})
  file(REMOVE_RECURSE ${tree})
  if(count GREATER 5)
    list(GET fields 5 header)
    file(WRITE ${tree}/${header} "#pragma once\n")
  endif()
  if(NOT included MATCHES "^<")
    set(included "\"${included}\"")
  endif()
  file(WRITE ${tree}/${file} "#include <cstdint>\n#include ${included}\n")
  execute_process(COMMAND ${CMAKE_COMMAND} -DROOT=${tree} -P ${CHECK} RESULT_VARIABLE rc
                  OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(expect STREQUAL "pass" AND NOT rc EQUAL 0)
    message("${name}: refused, should pass:\n${out}")
    math(EXPR failures "${failures} + 1")
  elseif(expect STREQUAL "fail")
    string(FIND "${out}" "${file}:2: " at_line)
    string(FIND "${out}" "${fragment}" at_reason)
    if(rc EQUAL 0 OR at_line EQUAL -1 OR at_reason EQUAL -1)
      message("${name}: not caught as \"${file}:2: ...${fragment}\":\n${out}")
      math(EXPR failures "${failures} + 1")
    endif()
  endif()
endforeach()

if(failures GREATER 0)
  message(FATAL_ERROR "${failures} layer-check case(s) wrong")
endif()
