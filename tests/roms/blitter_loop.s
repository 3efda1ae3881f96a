| Starts Blitter operations of 65535 words by 65535 lines in a loop, each
| copying one RAM word onto the next; the long at 0x904 counts the
| operations that ended. The X and Y counts come from the words at 0x902
| and 0x900, 65535 unless a test lowers them. The word at offset 0x34 of the ROM (tests patch it) picks
| the start: 0 a byte write of the control register, 1 a long write across it, 2 a MOVEM.W, then HOP/OP
| 0x0207 (the others keep 0x0203).
        .include "rom_header.inc"
start_kind:
        .word   0

        .equ    BLITTER, 0xffff8a00
        .equ    LINES, 0x900
        .equ    WORDS, 0x902
        .equ    DONE, 0x904

main:
        move.w  #0x2700,sr
        lea     0x8000,sp
        move.w  #65535,LINES.w
        move.w  #65535,WORDS.w
        clr.l   DONE.w
        lea     BLITTER,a0
        clr.l   0x20(a0)                | source X and Y increments 0
        clr.l   0x2e(a0)                | destination X and Y increments 0
        moveq   #-1,d0
        move.l  d0,0x28(a0)             | end masks
        move.w  d0,0x2c(a0)
        move.w  #0x0203,0x3a(a0)        | HOP 2, OP 3: copy the source
loop:   move.l  #0x10002,0x24(a0)
        move.l  #0x10000,0x32(a0)
        move.w  WORDS.w,0x36(a0)
        move.w  LINES.w,0x38(a0)
        move.w  start_kind(pc),d0
        subq.w  #1,d0
        bmi.s   byte
        beq.s   long
        lea     0x3e(a0),a1
        move.w  #0x0207,d0              | HOP 2, OP 7
        move.w  #0x8000,d1
        movem.w d0-d1,-(a1)
        bra.s   ended
byte:   move.b  #0x80,0x3c(a0)
        bra.s   ended
long:   move.l  #0x80000000,0x3c(a0)
ended:  addq.l  #1,DONE.w
        bra.s   loop
