| Three Blitter operations of 64 words by 16384 lines (1M words each), started the ways an instruction
| writes more registers after the start: a long write across the control register, a MOVEM.W of the
| control word and then HOP/OP, a MOVEM.L of the control long and then three longs below it (Y count and
| HOP/OP, X count, destination Y increment). The first two XOR a window of the source that moves 4 bytes
| a line into one destination line, so every line shows; the third ORs the halftone words in, with the
| HOP and OP that the MOVEM.W wrote after its start. A fourth and a fifth, started by a MOVEM.W and a
| MOVEP.W that run on into a bus error, end before the fault's frame is pushed. 0x900 holds 0x600d once
| all five have ended.
        .include "rom_header.inc"
        .equ    BLITTER, 0xffff8a00

main:   lea     0x20000,a0              | sources and destinations: a rotating
        move.l  #0x2545f491,d1          | sum from 0x20000 to 0x40400
        move.l  #0x9e3779b9,d2
        move.w  #0x80ff,d0
fill:   add.l   d2,d1
        rol.l   #7,d1
        move.l  d1,(a0)+
        dbra    d0,fill
        lea     BLITTER,a0
        moveq   #7,d0                   | the halftone: 16 words
        move.l  #0x5a0ff0c3,d1
ht:     move.l  d1,(a0)+
        rol.l   #3,d1
        dbra    d0,ht
        lea     BLITTER,a0
        move.l  #0x0002ff86,0x20(a0)    | source X +2, Y -122: 4 bytes on a line
        move.l  #0x0fffffff,0x28(a0)    | end masks 0x0fff, 0xffff,
        move.w  #0xfff0,0x2c(a0)        | 0xfff0
        move.l  #0x0002ff82,0x2e(a0)    | destination X +2, Y -126: one line

        move.l  #0x20000,0x24(a0)       | a long write: control 0x80, skew 5,
        move.l  #0x40000,0x32(a0)       | then the word after it
        move.l  #0x00404000,0x36(a0)    | 64 words, 16384 lines
        move.w  #0x0206,0x3a(a0)        | HOP 2, OP 6: XOR the source
        move.l  #0x80050000,0x3c(a0)

        move.l  #0x28000,0x24(a0)       | MOVEM.W: control 0x80 with skew 3,
        move.l  #0x40100,0x32(a0)       | then HOP 1 / OP 7
        move.l  #0x00404000,0x36(a0)
        lea     0x3e(a0),a1
        movem.w movem_w(pc),d0-d1
        movem.w d0-d1,-(a1)

        move.l  #0x30000,0x24(a0)       | MOVEM.L: control 0x80 with FXSR, NFSR
        move.l  #0x40200,0x32(a0)       | and skew 2, then Y count 5 with HOP 3
        move.l  #0x00404000,0x36(a0)    | / OP 7, X count 16, destination Y
                                        | increment -2; it runs with the MOVEM.W's
                                        | HOP 1 / OP 7: it ORs the halftone in
        lea     0x40(a0),a1
        movem.l movem_l(pc),d0-d3
        movem.l d0-d3,-(a1)

        lea     0x40300,sp              | MOVEM.W from HOP/OP on: HOP 0 / OP 15,
        move.l  #berr,0x8.w             | the start, then 0x3e, a bus error whose
        move.l  #0x402c0,0x32(a0)       | frame goes onto the line that the
        move.l  #0x0002ffc2,0x2e(a0)    | operation fills with ones (32 words by
        move.l  #0x00204000,0x36(a0)    | 16384 lines): as the chip ended the
        lea     0x40280,a3              | operation first, the frame is whole
        lea     movep(pc),a4            | (the handler copies it to A3, goes on
        lea     0x3a(a0),a1             | at A4)
        movem.w movem_f(pc),d0-d2
        movem.w d0-d2,(a1)

movep:  lea     0x40300,sp              | the same with MOVEP.W: the start byte,
        move.l  #0x402c0,0x32(a0)       | then 0x3e
        move.w  #0x4000,0x38(a0)
        lea     0x40290,a3
        lea     done(pc),a4
        move.w  #0x8000,d0
        movep.w d0,0x3c(a0)

done:   move.w  #0x600d,0x900.w
idle:   bra.s   idle
berr:   move.l  (sp)+,(a3)+
        move.l  (sp)+,(a3)+
        move.l  (sp)+,(a3)+
        move.w  (sp)+,(a3)+
        jmp     (a4)
movem_f:        .word   0x000f, 0x8000, 0
movem_w:        .word   0x0107, 0x8003
movem_l:        .long   0xfffe0004, 0x12340010, 0x00050307, 0x80c20000
