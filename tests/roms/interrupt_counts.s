| Programs the MFP timers, Timer B's event counting and the VBL and HBL, and
| counts every interrupt into RAM. The test reads the counts after N frames.
|
| Counters (longs): 0x800 VBL, 0x804 HBL, 0x808 Timer A, 0x80c Timer B,
| 0x810 Timer C, 0x814 Timer D; 0x818 is 0x600d once set-up is done.
        .include "rom_header.inc"

        .equ    MFP, 0xfffa01
        .equ    IERA, MFP+0x06
        .equ    IERB, MFP+0x08
        .equ    IMRA, MFP+0x12
        .equ    IMRB, MFP+0x14
        .equ    VR, MFP+0x16
        .equ    TACR, MFP+0x18
        .equ    TBCR, MFP+0x1a
        .equ    TCDCR, MFP+0x1c
        .equ    TADR, MFP+0x1e
        .equ    TBDR, MFP+0x20
        .equ    TCDR, MFP+0x22
        .equ    TDDR, MFP+0x24

main:
        move.w  #0x2700,sr
        lea     0x800.w,a0
        moveq   #6,d0
clear:  clr.l   (a0)+
        dbra    d0,clear

        move.l  #vbl,0x70.w             | level 4 autovector (28)
        move.l  #hbl,0x68.w             | level 2 autovector (26)
        move.l  #timer_a,0x134.w        | MFP vector 0x40 + 13
        move.l  #timer_b,0x120.w        | MFP vector 0x40 + 8
        move.l  #timer_c,0x114.w        | MFP vector 0x40 + 5
        move.l  #timer_d,0x110.w        | MFP vector 0x40 + 4

        move.b  #0x40,VR.l              | vectors 0x40-0x4f, automatic end of interrupt
        move.b  #192,TCDR.l             | Timer C: 192 ticks
        clr.b   TDDR.l                  | Timer D: data 0 counts 256 ticks
        move.b  #100,TADR.l             | Timer A: 100 ticks
        move.b  #1,TBDR.l               | Timer B: every display line
        move.b  #0x21,IERA.l            | Timer A and Timer B
        move.b  #0x21,IMRA.l
        move.b  #0x30,IERB.l            | Timer C and Timer D
        move.b  #0x30,IMRB.l
        move.b  #0x51,TCDCR.l           | C prescaler 64, D prescaler 4, in one write
        move.b  #0x17,TACR.l            | A prescaler 200, with the reset bit
        move.b  #0x08,TBCR.l            | B counts events (display lines)
        move.l  #0x600d,0x818.w
        move.w  #0x2100,sr              | everything above level 1 may interrupt
idle:   bra.s   idle

vbl:    addq.l  #1,0x800.w
        rte
hbl:    addq.l  #1,0x804.w
        rte
timer_a:
        addq.l  #1,0x808.w
        rte
timer_b:
        addq.l  #1,0x80c.w
        rte
timer_c:
        addq.l  #1,0x810.w
        rte
timer_d:
        addq.l  #1,0x814.w
        rte
