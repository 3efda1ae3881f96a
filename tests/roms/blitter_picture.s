| Draws one picture twice in low resolution: into 0x60000 with the CPU, one
| pixel at a time, and into 0x70000 with the Blitter, from the same list of
| rectangle operations (fills, halftones, copies with skew, overlapping copies
| in both directions, between planes). Both start from the same background.
| The screen shows the Blitter's picture.
|
| 0x818 holds 0x600d once both pictures are drawn.
        .include "rom_header.inc"

        .equ    CPU_PICTURE, 0x60000
        .equ    BLIT_PICTURE, 0x70000
        .equ    BLITTER, 0xffff8a00
        | Scratch words.
        .equ    V_I, 0x900              | column of the current pixel
        .equ    V_J, 0x902              | line of the current pixel
        .equ    V_XC, 0x904             | X count
        .equ    V_SW, 0x906             | source words a line
        .equ    V_FX, 0x908             | FXSR 0/1
        .equ    V_NF, 0x90a             | NFSR 0/1
        .equ    V_SK, 0x90c             | skew
        | Fields of an operation (words).
        .equ    HOP, 0
        .equ    OP, 2
        .equ    DOWN, 4                 | 1: descending, from the bottom right
        .equ    SPL, 6                  | source plane
        .equ    DPL, 8                  | destination plane
        .equ    SX, 10
        .equ    SY, 12
        .equ    DX, 14
        .equ    DY, 16
        .equ    W, 18
        .equ    H, 20
        .equ    OPSIZE, 22

main:
        move.w  #0x2700,sr
        lea     0x8000,sp
        lea     palette(pc),a0
        lea     0xffff8240.w,a1
        moveq   #15,d0
pal:    move.w  (a0)+,(a1)+
        dbra    d0,pal
        move.b  #0,0xffff8260.w
        move.b  #0x07,0xffff8201.w      | screen base 0x070000
        move.b  #0x00,0xffff8203.w

        | The background: xorshift words in both pictures.
        lea     CPU_PICTURE,a0
        lea     BLIT_PICTURE,a1
        move.l  #0x2545f491,d1
        move.w  #15999,d0
fill:   move.l  d1,d2
        lsl.l   #8,d2
        lsl.l   #5,d2
        eor.l   d2,d1
        move.l  d1,d2
        clr.w   d2
        swap    d2
        lsr.l   #1,d2
        eor.l   d2,d1
        move.l  d1,d2
        lsl.l   #5,d2
        eor.l   d2,d1
        move.w  d1,(a0)+
        move.w  d1,(a1)+
        dbra    d0,fill

        lea     pattern(pc),a0
        lea     BLITTER,a1
        moveq   #15,d0
ht:     move.w  (a0)+,(a1)+
        dbra    d0,ht

        lea     operations(pc),a5
next:   tst.w   (a5)
        bmi.s   done
        lea     CPU_PICTURE,a6
        bsr     cpu_op
        lea     BLIT_PICTURE,a6
        bsr     blit_op
        lea     OPSIZE(a5),a5
        bra.s   next
done:   move.l  #0x600d,0x818.w
idle:   bra.s   idle

| a0 = the word of pixel (d0, d1) in plane d2 of the picture at a6, d3 = its
| bit number.
pixaddr:
        move.l  a6,a0
        move.w  d1,d3
        mulu    #160,d3
        add.l   d3,a0
        move.w  d0,d3
        lsr.w   #4,d3
        lsl.w   #3,d3
        add.w   d3,a0
        move.w  d2,d3
        add.w   d3,d3
        add.w   d3,a0
        move.w  d0,d3
        not.w   d3
        and.w   #15,d3
        rts

| d2 = the words a line spans from pixel d3 to pixel d2.
span:   lsr.w   #4,d2
        lsr.w   #4,d3
        sub.w   d3,d2
        addq.w  #1,d2
        rts

| The operation at a5 with the CPU, pixel by pixel, in the Blitter's order.
cpu_op:
        move.w  H(a5),d6
        subq.w  #1,d6
cpu_line:
        move.w  W(a5),d7
        subq.w  #1,d7
cpu_pixel:
        bsr.s   pixel
        dbra    d7,cpu_pixel
        dbra    d6,cpu_line
        rts

| One pixel: d6 and d7 count the lines and columns down.
pixel:
        move.w  d6,d0
        move.w  d7,d1
        tst.w   DOWN(a5)
        bne.s   1f
        move.w  H(a5),d0
        subq.w  #1,d0
        sub.w   d6,d0
        move.w  W(a5),d1
        subq.w  #1,d1
        sub.w   d7,d1
1:      move.w  d0,V_J.w
        move.w  d1,V_I.w
        moveq   #1,d4                   | the source term's bit
        move.w  HOP(a5),d5
        btst    #0,d5
        beq.s   2f
        move.w  DY(a5),d1               | halftone word of the line
        add.w   V_J.w,d1
        and.w   #15,d1
        add.w   d1,d1
        lea     pattern(pc),a0
        move.w  0(a0,d1.w),d2
        move.w  DX(a5),d0
        add.w   V_I.w,d0
        not.w   d0
        and.w   #15,d0
        btst    d0,d2
        bne.s   2f
        moveq   #0,d4
2:      btst    #1,d5
        beq.s   3f
        move.w  SX(a5),d0
        add.w   V_I.w,d0
        move.w  SY(a5),d1
        add.w   V_J.w,d1
        move.w  SPL(a5),d2
        bsr     pixaddr
        move.w  (a0),d0
        btst    d3,d0
        bne.s   3f
        moveq   #0,d4
3:      move.w  DX(a5),d0
        add.w   V_I.w,d0
        move.w  DY(a5),d1
        add.w   V_J.w,d1
        move.w  DPL(a5),d2
        bsr     pixaddr
        move.w  (a0),d2
        moveq   #3,d1                   | truth-table bit 3 - 2S - D
        sub.w   d4,d1
        sub.w   d4,d1
        btst    d3,d2
        beq.s   4f
        subq.w  #1,d1
4:      move.w  OP(a5),d0
        btst    d1,d0
        beq.s   5f
        bset    d3,d2
        bra.s   6f
5:      bclr    d3,d2
6:      move.w  d2,(a0)
        rts

| The operation at a5 with the Blitter.
blit_op:
        move.w  DX(a5),d0
        move.w  d0,d1
        add.w   W(a5),d1
        subq.w  #1,d1                   | d1 right destination pixel
        move.w  SX(a5),d6
        move.w  d6,d7
        add.w   W(a5),d7
        subq.w  #1,d7                   | d7 right source pixel
        move.w  d0,d3                   | skew (dx - sx) & 15
        sub.w   d6,d3
        and.w   #15,d3
        move.w  d3,V_SK.w
        move.w  d1,d2                   | X count
        move.w  d0,d3
        bsr     span
        move.w  d2,V_XC.w
        move.w  d7,d2                   | source words
        move.w  d6,d3
        bsr     span
        move.w  d2,V_SW.w

        | FXSR when the first destination pixel needs the word before the
        | first one the source line starts with.
        clr.w   V_FX.w
        btst    #1,HOP+1(a5)            | HOP 0 and 1 read no source
        beq.s   fx_done
        tst.w   DOWN(a5)
        bne.s   fx_down
        moveq   #15,d4
        and.w   d6,d4                   | sx & 15 > dx & 15
        moveq   #15,d5
        and.w   d0,d5
        cmp.w   d5,d4
        bls.s   fx_done
        move.w  #1,V_FX.w
        bra.s   fx_done
fx_down:
        moveq   #15,d4
        and.w   d1,d4                   | right dx & 15 >= right sx & 15
        moveq   #15,d5
        and.w   d7,d5
        cmp.w   d5,d4
        bcs.s   fx_done
        move.w  #1,V_FX.w
fx_done:
        | NFSR when the line has more reads than source words.
        clr.w   V_NF.w
        btst    #1,HOP+1(a5)
        beq.s   nf_done
        move.w  V_XC.w,d4
        cmp.w   #2,d4
        bcs.s   nf_done
        add.w   V_FX.w,d4
        cmp.w   V_SW.w,d4
        bls.s   nf_done
        move.w  #1,V_NF.w
nf_done:
        | End masks: d4 left, d5 right.
        moveq   #15,d3
        and.w   d0,d3
        moveq   #-1,d4
        lsr.w   d3,d4
        moveq   #15,d3
        and.w   d1,d3
        eor.w   #15,d3
        moveq   #-1,d5
        lsl.w   d3,d5
        tst.w   DOWN(a5)
        beq.s   1f
        exg     d4,d5                   | descending: the right end first
1:      cmp.w   #1,V_XC.w
        bne.s   2f
        and.w   d5,d4
2:      move.w  d4,BLITTER+0x28
        move.w  #-1,BLITTER+0x2a
        move.w  d5,BLITTER+0x2c

        | Source advances a line: FXSR + (X count >= 2 ? X count - 1 - NFSR : 0).
        move.w  V_FX.w,d2
        move.w  V_XC.w,d3
        cmp.w   #2,d3
        bcs.s   3f
        add.w   d3,d2
        subq.w  #1,d2
        sub.w   V_NF.w,d2
3:      lsl.w   #3,d2
        move.w  #160,d4                 | d4 source Y increment
        sub.w   d2,d4
        move.w  V_XC.w,d2
        subq.w  #1,d2
        lsl.w   #3,d2
        move.w  #160,d5                 | d5 destination Y increment
        sub.w   d2,d5
        moveq   #8,d2                   | d2 X increments
        move.w  DY(a5),d3               | d3 first line
        tst.w   DOWN(a5)
        beq.s   4f
        neg.w   d2
        neg.w   d4
        neg.w   d5
        add.w   H(a5),d3
        subq.w  #1,d3
4:      move.w  d2,BLITTER+0x20
        move.w  d4,BLITTER+0x22
        move.w  d2,BLITTER+0x2e
        move.w  d5,BLITTER+0x30
        and.w   #15,d3
        or.w    #0x80,d3
        move.w  d3,-(sp)                | control byte: BUSY and the line

        | Start addresses: the top left pixels, or the bottom right ones.
        move.w  SY(a5),d4
        move.w  DY(a5),d5
        tst.w   DOWN(a5)
        beq.s   5f
        move.w  d7,d6                   | right source pixel
        move.w  d1,d0                   | right destination pixel
        add.w   H(a5),d4
        subq.w  #1,d4
        add.w   H(a5),d5
        subq.w  #1,d5
5:      move.w  d0,d7                   | destination x
        move.w  d6,d0
        move.w  d4,d1
        move.w  SPL(a5),d2
        bsr     pixaddr
        move.l  a0,BLITTER+0x24
        move.w  d7,d0
        move.w  d5,d1
        move.w  DPL(a5),d2
        bsr     pixaddr
        move.l  a0,BLITTER+0x32

        move.w  V_XC.w,BLITTER+0x36
        move.w  H(a5),BLITTER+0x38
        move.b  HOP+1(a5),BLITTER+0x3a
        move.b  OP+1(a5),BLITTER+0x3b
        move.w  V_FX.w,d0               | FXSR, NFSR and the skew
        lsl.w   #7,d0
        move.w  V_NF.w,d1
        lsl.w   #6,d1
        or.w    d1,d0
        or.w    V_SK.w,d0
        btst    #1,HOP+1(a5)
        bne.s   6f
        moveq   #0,d0
6:      move.b  d0,BLITTER+0x3d
        move.w  (sp)+,d0
        move.b  d0,BLITTER+0x3c         | start
wait:   btst    #7,BLITTER+0x3c
        bne.s   wait
        rts

palette:
        .word   0x000,0x700,0x070,0x770,0x007,0x707,0x077,0x777
        .word   0x333,0x500,0x050,0x550,0x005,0x505,0x055,0x555
pattern:
        .word   0xaaaa,0x5555,0xcccc,0x3333,0xf0f0,0x0f0f,0xff00,0x00ff
        .word   0x8888,0x4444,0x2222,0x1111,0xffff,0x0000,0x8001,0x7ffe

| hop, op, descending, source plane, destination plane, sx, sy, dx, dy, w, h
operations:
        .word   0, 0, 0, 0, 0,   0,   0,   5,   3, 100, 20   | clear
        .word   0, 15, 0, 0, 1,  0,   0,  17,  10,   7, 30   | set, one word
        .word   0, 10, 1, 0, 2,  0,   0,  30,  40, 150, 30   | invert
        .word   1, 3, 0, 0, 3,   0,   0,   3, 100, 120, 30   | halftone
        .word   1, 6, 1, 0, 0,   0,   0,  40,  60,  90, 33   | halftone lines upwards
        .word   2, 3, 0, 1, 1,   7,   0, 203, 120,  97, 40   | copy, skew 4
        .word   2, 7, 0, 0, 2,  13,  50,   2, 150,  64, 30   | or, FXSR
        .word   2, 6, 1, 2, 2,  20,  20,  29,  25, 120, 40   | xor, overlapping right
        .word   2, 3, 0, 3, 3, 100, 100,  91,  96, 100, 40   | overlapping left
        .word   3, 1, 0, 0, 1,   0,   0, 160,  10, 120, 50   | halftone and source
        .word   3, 7, 1, 2, 0, 250, 130,  10, 170,  48, 25   | aligned, descending
        .word   2, 12, 0, 1, 3, 32,   0,  64, 180, 128, 15   | not source, aligned
        .word   2, 4, 0, 0, 0,  14,   0,   3,   0,   5, 30   | one word, FXSR
        .word   2, 9, 1, 3, 1,   5,   5, 290,   5,   9, 10   | one word, descending
        .word   2, 2, 0, 1, 0, 161,  90, 230,  60,  80, 20   | and not destination
        .word   2, 8, 1, 0, 3,  70, 140, 250, 150,  60, 30   | nor, descending
        .word   2, 11, 0, 2, 1, 33,  33,  17, 130,  33, 20   | or not destination
        .word   3, 13, 0, 3, 2, 18,  77, 120,  85,  44, 12   | not source or destination
        .word   2, 14, 1, 1, 2, 99, 180, 111, 160,  70, 18   | nand, descending
        .word   -1
