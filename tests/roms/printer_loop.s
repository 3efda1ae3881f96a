| Prints for ever: the bytes 0, 1, ..., 255, 0, 1, ... go one after the
| other to the sound chip's port B (register 15), the printer port, and the
| long at 0x800 counts them.
        .include "rom_header.inc"

        .equ    PSG_SELECT, 0xff8800
        .equ    COUNT, 0x800

main:
        move.w  #0x2700,sr
        lea     PSG_SELECT.l,a0
        move.b  #15,(a0)                | port B
        moveq   #0,d0
        clr.l   COUNT.w
print:  move.b  d0,2(a0)
        addq.b  #1,d0
        addq.l  #1,COUNT.w
        bra.s   print
