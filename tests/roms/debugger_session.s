| A program for the debugger's sessions: vectors and the MFP set up, a
| pattern in RAM to dump, a loop, a subroutine, and a busy wait for the VBL
| that gives up after many frames. The places a session runs to lie at fixed
| offsets.
|
| 0x1000: sixteen words 15, 14, ... 0; 0x2000: word set to 1 by the VBL.
        .include "rom_header.inc"

        .equ    VR, 0xfffa17
        .equ    TCDR, 0xfffa23
        .equ    TCDCR, 0xfffa1d

main:                                   | 0xfc0034
        move.w  #0x2700,sr
        lea     0x8000,sp
        move.l  #vbl,0x70.w             | level 4 autovector
        move.l  #hbl,0x68.w             | level 2 autovector
        move.l  #timer_c,0x114.w        | MFP vector 0x40 + 5
        move.b  #0x40,VR.l              | MFP vectors 0x40-0x4f
        move.b  #192,TCDR.l
        move.b  #0x50,TCDCR.l           | Timer C, prescaler 64; not enabled
        lea     0x1000.w,a1
        moveq   #15,d0
fill:   move.w  d0,(a1)+
        dbra    d0,fill
        bra.w   call

        .org    0x100
call:   bsr.s   sub                     | 0xfc0100
        clr.w   0x2000.w
        move.l  #20000,d7               | about five frames of the loop below
        move.w  #0x2300,sr              | the VBL may interrupt
wait:   tst.w   0x2000.w                | 0xfc0112
        bne.s   done
        subq.l  #1,d7
        bne.s   wait
done:   bra.s   done                    | 0xfc011c

        .org    0x140
sub:    moveq   #1,d1
        addq.w  #2,d1
        lsl.w   #3,d1
        rts

        .org    0x180
vbl:    move.w  #1,0x2000.w
hbl:
timer_c:
        rte
