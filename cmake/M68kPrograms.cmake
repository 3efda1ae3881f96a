# Assembles 68000 programs (GNU as syntax) into raw binaries at build time.
#
#   m68k_program(NAME SOURCE [ORIGIN address])
#
# produces ${M68K_PROGRAM_DIR}/NAME.bin, linked to run at ORIGIN (default 0),
# and a target m68k_program_NAME. Tests load the binaries from that folder.

find_program(M68K_AS m68k-linux-gnu-as REQUIRED)
find_program(M68K_LD m68k-linux-gnu-ld REQUIRED)
find_program(M68K_OBJCOPY m68k-linux-gnu-objcopy REQUIRED)

set(M68K_PROGRAM_DIR ${CMAKE_BINARY_DIR}/m68k-programs)
file(MAKE_DIRECTORY ${M68K_PROGRAM_DIR})

function(m68k_program NAME SOURCE)
  cmake_parse_arguments(ARG "" "ORIGIN" "" ${ARGN})
  if(NOT ARG_ORIGIN)
    set(ARG_ORIGIN 0)
  endif()
  get_filename_component(src ${SOURCE} ABSOLUTE)
  set(obj ${M68K_PROGRAM_DIR}/${NAME}.o)
  set(elf ${M68K_PROGRAM_DIR}/${NAME}.elf)
  set(bin ${M68K_PROGRAM_DIR}/${NAME}.bin)
  add_custom_command(
    OUTPUT ${bin}
    COMMAND ${M68K_AS} -m68000 --register-prefix-optional -o ${obj} ${src}
    COMMAND ${M68K_LD} -N --no-warn-rwx-segments -Ttext=${ARG_ORIGIN} -e 0 -o ${elf} ${obj}
    COMMAND ${M68K_OBJCOPY} -O binary ${elf} ${bin}
    DEPENDS ${src}
    COMMENT "Assembling 68000 program ${NAME}"
    VERBATIM)
  add_custom_target(m68k_program_${NAME} DEPENDS ${bin})
  set_property(GLOBAL APPEND PROPERTY M68K_PROGRAM_TARGETS m68k_program_${NAME})
endfunction()
