| Prints for ever: the bytes 0, 1, ..., 255, 0, 1, ... to the sound chip's
| port B (register 15), the printer port; the long at 0x800 counts them.
        .include "rom_header.inc"
main:   lea     0xff8800,a0
        move.b  #15,(a0)                | port B
        moveq   #0,d0
        clr.l   0x800.w
print:  move.b  d0,2(a0)
        addq.b  #1,d0
        addq.l  #1,0x800.w
        bra.s   print
