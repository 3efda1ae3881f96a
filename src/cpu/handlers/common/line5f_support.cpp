// Storage of the 68000 address-error fault record. The definitions are
// weak: the exception entry owns the record and, where it defines it, its
// definitions take the place of these.
#include "cpu/handlers/common/line5f_support.h"

[[gnu::weak]] u32 m68k_fault_pc = 0;
[[gnu::weak]] u32 m68k_fault_addr = 0;
[[gnu::weak]] u16 m68k_fault_opcode = 0;
