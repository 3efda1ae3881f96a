# Checks the wall between the core and the hosts by the includes of the core's
# files:
#   - the core (src/common, src/cpu, src/machine, src/blitter) includes of the
#     host only the interface headers directly in src/host/, never a host's
#     own files (host/headless/, host/shared/, host/sdl/, ...), the platform
#     layer, SDL, Dear ImGui or test support;
#   - the CPU (src/cpu) includes nothing of the machine or the Blitter: it
#     reaches the board through cpu/bus.h.
#
#   cmake -DSOURCE_DIR=<repository> -P CheckCoreIncludes.cmake
#
# Every offending line is printed and the script fails. With
# -DEXPECT_VIOLATIONS=N it succeeds exactly when N lines offend (the check's
# own test runs it on a small tree of bad examples).

if(NOT DEFINED SOURCE_DIR)
  message(FATAL_ERROR "SOURCE_DIR is not set")
endif()

set(violations 0)

function(offend file line why)
  file(RELATIVE_PATH rel ${SOURCE_DIR} ${file})
  message(STATUS "${rel}: ${line}  <- ${why}")
  math(EXPR n "${violations} + 1")
  set(violations ${n} PARENT_SCOPE)
endfunction()

foreach(part common cpu machine blitter)
  file(GLOB_RECURSE files ${SOURCE_DIR}/src/${part}/*.h ${SOURCE_DIR}/src/${part}/*.cpp
       ${SOURCE_DIR}/src/${part}/*.inc)
  foreach(f ${files})
    file(STRINGS ${f} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    foreach(line ${includes})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]*)[>\"].*" "\\1" path "${line}")
      string(TOLOWER "${path}" lower)
      if(lower MATCHES "(^|/)sdl[^/]*(/|\\.h$)" OR lower MATCHES "imgui")
        offend(${f} "${line}" "SDL or Dear ImGui in the core")
      elseif(path MATCHES "^host/" AND NOT path MATCHES "^host/[A-Za-z0-9_]+\\.h$")
        offend(${f} "${line}" "a host's own file; the core sees only host/<interface>.h")
      elseif(path MATCHES "^(platform|app|support|tools)/")
        offend(${f} "${line}" "outside the core")
      elseif(part STREQUAL "cpu" AND path MATCHES "^(machine|blitter)/")
        offend(${f} "${line}" "the CPU reaches the board through cpu/bus.h")
      endif()
    endforeach()
  endforeach()
endforeach()

if(DEFINED EXPECT_VIOLATIONS)
  if(NOT violations EQUAL EXPECT_VIOLATIONS)
    message(FATAL_ERROR "${violations} offending includes, expected ${EXPECT_VIOLATIONS}")
  endif()
elseif(violations GREATER 0)
  message(FATAL_ERROR "${violations} includes cross the wall between the core and the hosts")
endif()
