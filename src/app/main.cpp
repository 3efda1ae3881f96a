// Vantorell: an Atari ST emulator.
#include <cstdio>

#include "cpu/decode.h"
#include "cpu/handler_tables.h"
#include "cpu/registers.h"

int main() {
  std::printf("Vantorell %s\n", "0.1");
  std::printf("Building the 68000...\n");
  m68k_decode_init();
  const u32 table = m68k_select_handler_table(m68k_model, m68k_prefetch_mode);
  u32 live = 0;
  for (u32 op = 0; op < 65536; ++op)
    if (m68k_dispatch[op] != m68k_default_handler) ++live;
  std::printf("%u instruction classes, handler table %u with %u of its rows, %u opcodes live\n",
              m68k_handler_opcode_count, table, m68k_handler_table_rows[table], live);
  std::printf("The machine itself is not assembled yet: nothing more to run.\n");
  return 0;
}
