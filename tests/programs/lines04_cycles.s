| One instruction of each kind of lines 0-4, run one by one to check the
| cycle count each handler returns. The test sets A0-A6 to scratch memory
| and clears D0-D7 first. Snippet table at 0x1000, code at 0x1100.
        .org    0x1000
        .long   straight
        .org    0x1100
straight:
        ori.b   #1,d0                   | 8
        ori.l   #1,d0                   | 16
        andi.l  #-1,d0                  | 16
        cmpi.l  #1,d0                   | 14
        cmpi.w  #1,d0                   | 8
        addi.w  #1,(a0)                 | 16
        subi.l  #1,(a0)+                | 28
        eori.b  #1,-(a0)                | 18
        ori.w   #1,4(a1)                | 20
        andi.l  #1,4(a1,d0.w)           | 34
        addi.b  #1,0x2000.w             | 20
        subi.w  #1,0x2000.l             | 24
        cmpi.b  #1,(a1)                 | 12
        cmpi.l  #1,-(a1)                | 22
        .word   0x0c7a,1,4              | cmpi.w #1,4(pc): 16
        .word   0x0cbb,0,1,4            | cmpi.l #1,4(pc,d0.w): 26
        ori.b   #0,ccr                  | 20
        btst    d0,d1                   | 6
        bchg    d0,d1                   | 8
        bclr    d0,d1                   | 10
        bset    d0,d1                   | 8
        btst    #1,d1                   | 10
        bclr    #1,d1                   | 14
        btst    d0,(a2)                 | 8
        bset    d0,-(a2)                | 14
        bchg    #1,2(a2,d0.w)           | 22
        btst    #1,0x2000.l             | 20
        btst    d0,#1                   | 8
        .word   0x083c,1,1              | btst #1,#1: 12
        movep.w 0(a3),d2                | 16
        movep.l d2,0(a3)                | 24
        move.b  d1,d0                   | 4
        move.w  (a0)+,(a1)+             | 12
        move.w  d0,-(a1)                | 10
        move.l  d0,-(a1)                | 14
        move.b  (a0),-(a1)              | 14
        move.l  -(a0),-(a1)             | 24
        move.w  #1,d0                   | 8
        move.l  (a0),d0                 | 12
        move.w  2(pc,d0.w),0x3000.l     | 26
        move.l  0x3000.l,0x3000.l       | 36
        move.b  2(a0,d0.w),d1           | 14
        move.l  d0,2(a1,d0.w)           | 18
        movea.w d0,a4                   | 4
        movea.w (a0),a4                 | 8
        movea.l (a0),a4                 | 12
        movea.l 2(a0,d0.w),a4           | 18
        movea.l #0x20400,a4             | 12
        negx.b  d0                      | 4
        neg.l   d0                      | 6
        not.w   (a1)                    | 12
        clr.l   (a1)                    | 20
        clr.b   -(a1)                   | 14
        neg.w   2(a1,d0.w)              | 18
        not.l   0x3000.l                | 28
        move.w  sr,d3                   | 6
        move.w  sr,-(a1)                | 14
        move.w  sr,2(a1,d0.w)           | 18
        move.w  #0x2700,sr              | 16
        move.w  d3,ccr                  | 12
        move.w  2(pc,d0.w),ccr          | 22
        .word   0x203c,0,0              | move.l #0,d0: 12
        chk.w   #100,d0                 | 14
        .word   0x4114                  | chk.l (a4),d0: 18
        chk.w   2(a4,d0.w),d0           | 20
        lea     (a4),a5                 | 4
        lea     2(a4,d0.w),a5           | 12
        lea     0x3000.l,a5             | 12
        lea     2(pc),a5                | 8
        pea     (a4)                    | 12
        pea     2(pc,d0.w)              | 20
        nbcd    d0                      | 6
        nbcd    (a4)                    | 12
        swap    d0                      | 4
        ext.w   d0                      | 4
        ext.l   d0                      | 4
        tst.b   d0                      | 4
        tst.l   (a4)                    | 12
        tst.w   2(a4,d0.w)              | 14
        tas     d0                      | 4
        tas     (a4)                    | 14
        movem.l d0-d3,(a6)              | 8 + 4 x 8 = 40
        movem.w d0-d1,-(a6)             | 8 + 2 x 4 = 16
        movem.l (a6)+,d0-d3             | 12 + 4 x 8 = 44
        movem.w 2(a6,d0.w),d0/a0        | 18 + 2 x 4 = 26
        movem.l (a6),d0                 | 12 + 8 = 20
        movem.w (a6),d0                 | 12 + 4 = 16
        link    a6,#-8                  | 18
        unlk    a6                      | 12
        move.l  a6,usp                  | 4
        move.l  usp,a6                  | 4
        nop                             | 4
        andi.b  #0,ccr                  | 20
        trapv                           | 4
        illegal
