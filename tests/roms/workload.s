| A steady workload for measuring the machine's speed: copies and sums a
| block of RAM over and over while Timer C and the VBL interrupt it.
        .include "rom_header.inc"

        .equ    MFP, 0xfffa01

main:
        move.w  #0x2700,sr
        move.l  #vbl,0x70.w
        move.l  #timer_c,0x114.w
        move.b  #0x40,MFP+0x16          | vectors 0x40-0x4f
        move.b  #192,MFP+0x22           | Timer C data
        move.b  #0x20,MFP+0x08          | Timer C enabled
        move.b  #0x20,MFP+0x14          | and unmasked
        move.b  #0x50,MFP+0x1c          | prescaler 64: 200 Hz
        clr.l   0x800.w
        clr.l   0x804.w
        move.w  #0x2300,sr

        lea     0x10000,a0              | fill the source block
        move.w  #1023,d0
fill:   move.l  d0,(a0)+
        dbra    d0,fill

loop:   lea     0x10000,a0
        lea     0x20000,a1
        moveq   #0,d1
        move.w  #1023,d0
copy:   move.l  (a0)+,d2
        add.l   d2,d1
        move.l  d2,(a1)+
        dbra    d0,copy
        move.l  d1,0x808.w
        addq.l  #1,0x80c.w
        bra.s   loop

vbl:    addq.l  #1,0x800.w
        rte
timer_c:
        addq.l  #1,0x804.w
        rte
