| Makes the machine restart for ever, in the way the word at offset 0x40
| picks: 0 a RESET instruction in a loop; 1 a bus error whose frame can't be
| stacked (a double fault); 2 a jump the guard refuses; 3 an absolute jump
| into this ROM, refused only when the image is mapped elsewhere (a header
| that says TOS 2.06 puts it at 0xE00000).
        .include "rom_header.inc"

        .org    0x40
mode:   .word   0

main:   move.w  mode(pc),d0
        beq.s   resets
        subq.w  #1,d0
        beq.s   double
        subq.w  #1,d0
        beq.s   wild
        jmp     (resets).l              | absolute: 0xFC00xx
wild:   jmp     0x500000                | past the end of RAM
resets: reset
        bra.s   resets
double: lea     0xfc0100,sp             | the frame would go into the ROM
        tst.b   0xff0000                | no chip answers here
        bra.s   double
