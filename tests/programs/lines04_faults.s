| Snippets for the tests of bus errors inside an instruction and of the
| order of returns. Snippet table at 0x1000, code from 0x1100.
        .org    0x1000
        .long   rmw, move_abs, chk_neg, movem_all, unlk_a0, move_to_sr
        .long   rts_op, rtr_op, rte_op, rmw_byte_indexed
        .long   not_w, addq_w, tas_op, divu_op, adda_l, suba_l

        .org    0x1100
rmw:    ori.l   #1,(a0)
        illegal
move_abs:
        move.w  (a0),0x3000.l
        illegal
chk_neg:
        chk.w   (a0),d1
        illegal
movem_all:
        movem.l (a0),d0-d7/a0-a7
        illegal
unlk_a0:
        unlk    a0
        illegal
move_to_sr:
        move.w  (a0),sr
        illegal
rts_op: rts
rtr_op: rtr
rte_op: rte
rmw_byte_indexed:
        bset    #0,2(a1,d0.w)
        illegal
not_w:  not.w   (a0)
        illegal
addq_w: addq.w  #1,(a0)
        illegal
tas_op: tas     (a0)
        illegal
divu_op:
        divu.w  (a0),d1
        illegal
adda_l: adda.l  (a0),a7
        illegal
suba_l: suba.l  (a0),a7
        illegal
