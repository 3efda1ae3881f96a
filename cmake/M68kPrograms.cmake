# Assembles 68000 programs (GNU as syntax) into raw binaries at build time.
#
#   m68k_program(NAME SOURCE [ORIGIN address] [CPU option...])
#
# produces ${M68K_PROGRAM_DIR}/NAME.bin, linked to run at ORIGIN (default 0),
# and a target m68k_program_NAME. Tests load the binaries from that folder.
# CPU gives the assembler's processor options (default -m68000), for
# example CPU -m68020 -m68881. The source may `.include` the .inc files
# that lie beside it.

find_program(M68K_AS m68k-linux-gnu-as REQUIRED)
find_program(M68K_LD m68k-linux-gnu-ld REQUIRED)
find_program(M68K_OBJCOPY m68k-linux-gnu-objcopy REQUIRED)
# The disassembler's tests compare with binutils' text of the same words.
find_program(M68K_OBJDUMP m68k-linux-gnu-objdump REQUIRED)

set(M68K_PROGRAM_DIR ${CMAKE_BINARY_DIR}/m68k-programs)
file(MAKE_DIRECTORY ${M68K_PROGRAM_DIR})

function(m68k_program NAME SOURCE)
  cmake_parse_arguments(ARG "" "ORIGIN" "CPU" ${ARGN})
  if(NOT ARG_ORIGIN)
    set(ARG_ORIGIN 0)
  endif()
  if(NOT ARG_CPU)
    set(ARG_CPU -m68000)
  endif()
  get_filename_component(src ${SOURCE} ABSOLUTE)
  get_filename_component(src_dir ${src} DIRECTORY)
  file(GLOB includes CONFIGURE_DEPENDS ${src_dir}/*.inc)
  set(obj ${M68K_PROGRAM_DIR}/${NAME}.o)
  set(elf ${M68K_PROGRAM_DIR}/${NAME}.elf)
  set(bin ${M68K_PROGRAM_DIR}/${NAME}.bin)
  add_custom_command(
    OUTPUT ${bin}
    COMMAND ${M68K_AS} ${ARG_CPU} --register-prefix-optional -I ${src_dir} -o ${obj} ${src}
    COMMAND ${M68K_LD} -N --no-warn-rwx-segments -Ttext=${ARG_ORIGIN} -e 0 -o ${elf} ${obj}
    COMMAND ${M68K_OBJCOPY} -O binary ${elf} ${bin}
    DEPENDS ${src} ${includes}
    COMMENT "Assembling program ${NAME} (${ARG_CPU})"
    VERBATIM)
  add_custom_target(m68k_program_${NAME} DEPENDS ${bin})
  set_property(GLOBAL APPEND PROPERTY M68K_PROGRAM_TARGETS m68k_program_${NAME})
endfunction()

# Assembles a 68000 source into a 192 KB TOS image for 0xFC0000:
#
#   m68k_test_rom(NAME SOURCE)
#
# produces ${M68K_PROGRAM_DIR}/NAME.img and a target m68k_rom_NAME. The source
# starts with `.include "rom_header.inc"` (tests/roms), which lays down the
# header the memory map recognises (version bytes 01 04 at offset 2) and
# branches to the label `main`. The image is padded with 0xFF to 192 KB.
set(M68K_ROM_INCLUDE_DIR ${CMAKE_SOURCE_DIR}/tests/roms)
file(GLOB M68K_ROM_INCLUDE_FILES CONFIGURE_DEPENDS ${M68K_ROM_INCLUDE_DIR}/*.inc)

function(m68k_test_rom NAME SOURCE)
  get_filename_component(src ${SOURCE} ABSOLUTE)
  set(obj ${M68K_PROGRAM_DIR}/${NAME}.rom.o)
  set(elf ${M68K_PROGRAM_DIR}/${NAME}.rom.elf)
  set(img ${M68K_PROGRAM_DIR}/${NAME}.img)
  add_custom_command(
    OUTPUT ${img}
    COMMAND ${M68K_AS} -m68000 --register-prefix-optional -I ${M68K_ROM_INCLUDE_DIR} -o ${obj} ${src}
    COMMAND ${M68K_LD} -N --no-warn-rwx-segments -Ttext=0xfc0000 -e 0xfc0000 -o ${elf} ${obj}
    COMMAND ${M68K_OBJCOPY} -O binary --gap-fill 0xff --pad-to 0xff0000 ${elf} ${img}
    DEPENDS ${src} ${M68K_ROM_INCLUDE_FILES}
    COMMENT "Assembling test ROM ${NAME}"
    VERBATIM)
  add_custom_target(m68k_rom_${NAME} DEPENDS ${img})
  set_property(GLOBAL APPEND PROPERTY M68K_PROGRAM_TARGETS m68k_rom_${NAME})
endfunction()

# Assembles a program file for the cartridge window (its text runs at
# 0xfa001c, behind the 28-byte program header):
#
#   m68k_cartridge(NAME SOURCE OUTPUT)
#
# writes the image to OUTPUT and adds the target NAME, built by default.
function(m68k_cartridge NAME SOURCE OUTPUT)
  get_filename_component(src ${SOURCE} ABSOLUTE)
  set(obj ${M68K_PROGRAM_DIR}/${NAME}.o)
  set(elf ${M68K_PROGRAM_DIR}/${NAME}.elf)
  add_custom_command(
    OUTPUT ${OUTPUT}
    COMMAND ${M68K_AS} -m68000 --register-prefix-optional -o ${obj} ${src}
    COMMAND ${M68K_LD} -N --no-warn-rwx-segments -Ttext=0xfa0000 -e 0xfa0000 -o ${elf} ${obj}
    COMMAND ${M68K_OBJCOPY} -O binary ${elf} ${OUTPUT}
    DEPENDS ${src}
    COMMENT "Assembling cartridge ${NAME}"
    VERBATIM)
  add_custom_target(${NAME} ALL DEPENDS ${OUTPUT})
endfunction()
