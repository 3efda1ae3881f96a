| Snippets for the tests of the later processors' integer instructions
| (assembled for the 68020). Each ends with ILLEGAL, where the test stops.
| Snippet table at 0x1000 (in the order of the enum in the test), code from
| 0x1100.
        .org    0x1000
        .long   bf_tst, bf_extu, bf_chg, bf_exts, bf_clr, bf_ffo, bf_set, bf_ins
        .long   bfr_tst, bfr_extu, bfr_chg, bfr_exts, bfr_clr, bfr_ffo, bfr_set, bfr_ins
        .long   bf_immediate, cas_byte, cas_postinc, cas2_word, cas2_long
        .long   chk2_byte, cmp2_address, chk2_indexed
        .long   mulu_32, muls_32, mulu_64, muls_64
        .long   divu_32, divs_32, divu_64, divs_64, divul_32, divsl_32
        .long   movec_to, movec_from, link_long, extb, callm_op, rtm_op, bkpt_op
        .long   moves_word, moves_long

        .org    0x1100
| The bit fields on memory at A0 and on D0; offset D2, width D3, data D1.
        .irp    op,tst,chg,clr,set
bf_\op: bf\op (a0){d2:d3}
        illegal
bfr_\op: bf\op d0{d2:d3}
        illegal
        .endr
        .irp    op,extu,exts,ffo
bf_\op: bf\op (a0){d2:d3},d1
        illegal
bfr_\op: bf\op d0{d2:d3},d1
        illegal
        .endr
bf_ins: bfins   d1,(a0){d2:d3}
        illegal
bfr_ins: bfins  d1,d0{d2:d3}
        illegal
| Immediate offset and width through a scaled index.
bf_immediate:
        bfexts  1(a0,d4.w*4){#5:#12},d5
        bfextu  d0{#0:#0},d6
        illegal

cas_byte:
        cas.b   d0,d1,(a0)
        illegal
cas_postinc:
        cas.l   d0,d1,(a0)+
        illegal
cas2_word:
        cas2.w  d0:d1,d2:d3,(a0):(a1)
        illegal
cas2_long:
        cas2.l  d0:d1,d2:d3,(a0):(a1)
        illegal

chk2_byte:
        chk2.b  (a0),d1
        illegal
cmp2_address:
        cmp2.w  (a0),a1
        illegal
chk2_indexed:
        chk2.l  4(a0,d0.l*4),d1
        illegal

        .irp    op,mulu,muls,divu,divs
\op\()_32: \op\().l d1,d0
        illegal
\op\()_64: \op\().l d1,d2:d0
        illegal
        .endr
divul_32: divul.l d1,d2:d0
        illegal
divsl_32: divsl.l d1,d2:d0
        illegal

| MOVEC with the extension word the test writes.
movec_to:
        .word   0x4e7b,0
        illegal
movec_from:
        .word   0x4e7a,0
        illegal

link_long:
        link.l  a6,#-0x10000
        illegal
extb:   extb.l  d0
        illegal
callm_op:
        callm   #0,(a0)
        illegal
rtm_op: rtm     d0
        illegal
bkpt_op: bkpt   #3
        illegal
moves_word:
        moves.w (a0),a1
        illegal
moves_long:
        moves.l d0,(a0)+
        illegal
