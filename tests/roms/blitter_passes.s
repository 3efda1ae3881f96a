| Blitter operations started where what follows the instruction shows: the supervisor stack lies
| inside the one line that every operation fills with ones (0x40000-0x4007f, 64 words by 128
| lines, destination Y increment -126), so a frame pushed before an operation's end is overwritten,
| and every handler logs its vector number and the PC in its frame, so an interrupt taken one
| instruction early shows. In turn: starts traced by an SR write; MOVEM.W starts (the start, then
| HOP/OP waiting) with the HBL and VBL on; byte starts with Timer A running every 200 ticks; starts
| by MOVE.L, BSET and TAS with all of them on; then all again. 0x900 holds 0x600d after the first round. A6 is the log's
| pointer (0x10000-0x1ffff, from its start again when full); nothing else touches it.
        .include "rom_header.inc"

        .equ    BLITTER, 0xffff8a00
        .equ    VR, 0xfffa17
        .equ    IERA, 0xfffa07
        .equ    IMRA, 0xfffa13
        .equ    TACR, 0xfffa19
        .equ    TADR, 0xfffa1f
        .equ    LOG, 0x10000
        .equ    LOG_END, 0x20000
        .equ    LINE, 0x40000
        .equ    STARTS, 300

main:   lea     LOG,a6
round:  move.w  #0x2700,sr
        lea     LINE+0x40,sp
        move.l  #trace,0x24.w
        move.l  #hbl,0x68.w
        move.l  #vbl,0x70.w
        move.l  #timer_a,0x134.w
        move.b  #0x40,VR.l              | MFP vectors 0x40-0x4f, automatic end of interrupt
        lea     BLITTER,a0              | every register below the control
        moveq   #0,d0                   | byte 0, whatever ran before
        moveq   #14,d1
clear:  move.l  d0,(a0)+
        dbra    d1,clear
        lea     BLITTER,a0
        moveq   #-1,d0
        move.l  d0,0x28(a0)             | end masks
        move.w  d0,0x2c(a0)
        move.l  #0x0002ff82,0x2e(a0)    | destination X +2, Y -126
        move.w  #64,0x36(a0)
        move.w  #0x000f,0x3a(a0)        | HOP 0, OP 15: ones

        move.w  #STARTS-1,d7            | traced starts
traced: bsr.w   again
        move.w  #0xa700,sr
        move.w  #0x8000,0x3c(a0)
        dbra    d7,traced

        move.w  #0x000f,d0              | MOVEM.W starts under the HBL and VBL
        move.w  #0x8000,d1
        move.w  #STARTS-1,d7
        move.w  #0x2100,sr
movem:  bsr.w   again
        lea     0x3e(a0),a1
        movem.w d0-d1,-(a1)
        dbra    d7,movem

        move.b  #50,TADR.l              | byte starts under Timer A
        move.b  #0x20,IERA.l
        move.b  #0x20,IMRA.l
        move.b  #1,TACR.l               | prescaler 4
        move.w  #STARTS-1,d7
        move.w  #0x2500,sr
bytes:  bsr.w   again
        move.b  #0x80,0x3c(a0)
        dbra    d7,bytes

        move.w  #STARTS/3-1,d7          | MOVE.L, BSET and TAS under all three
        move.w  #0x2100,sr
rmw:    bsr.w   again
        move.l  #0x80000000,0x3c(a0)
        bsr.w   again
        bset    #7,0x3c(a0)
        bsr.w   again
        tas     0x3c(a0)
        dbra    d7,rmw
        move.w  #0x600d,0x900.w
        bra.w   round                   | and all of it again

again:  move.l  #LINE,0x32(a0)          | the line again, 128 times
        move.w  #128,0x38(a0)
        rts

trace:  and.w   #0x7fff,(sp)            | once a start
        move.w  #9,-(sp)
        bra.s   log
hbl:    move.w  #26,-(sp)
        bra.s   log
vbl:    move.w  #28,-(sp)
        bra.s   log
timer_a:
        move.w  #0x4d,-(sp)
log:    move.w  #0x2700,sr              | one entry at a time
        move.w  (sp)+,(a6)+
        move.l  2(sp),(a6)+
        cmp.l   #LOG_END-6,a6
        bls.s   logged
        lea     LOG,a6
logged: rte
