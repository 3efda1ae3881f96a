| Snippets for the line 0-4 handler tests. Each ends with ILLEGAL, where the
| test stops; the test sets the registers first and checks them after.
| Snippet table at 0x1000 (in the order of the enum in the test), code from
| 0x1100.
        .org    0x1000
        .long   cmpi_pc, bchg_pc, btst_imm, movep, move_a7_bytes, move_same_reg
        .long   movem_predec, movem_postinc, supervisor_op, trap15, chk_fails
        .long   link_unlk, returns, rte68000, high_address, forms_beyond_68000
        .long   move_from_sr, move_from_ccr, rte_frames, indexed_020, full_format
        .long   jsr_indexed, stop_op, trapv_op, bit_numbers, tas_nbcd, reset_op

        .org    0x1100
| CMPI.W #0x1234,d16(PC) addresses opcode + 4 + d16; CMPI.L opcode + 6 + d16.
cmpi_pc:
        .word   0x0c7a,0x1234,cw-cmpi_pc-4      | cmpi.w #0x1234,cw(pc)
        move.w  sr,d0
        .word   0x0cba,0x5678,0x9abc,cl-cmpi_pc-14  | cmpi.l #0x56789abc,cl(pc)
        move.w  sr,d1
        illegal
cw:     .word   0x1234
cl:     .long   0x56789abc

| BCHG D0,d16(PC) and BCHG #1,d16(PC) change a byte of the program.
bchg_pc:
        .word   0x017a,pb-bchg_pc-2     | bchg d0,pb(pc)
        .word   0x087a,1,pb-bchg_pc-8   | bchg #1,pb(pc)
        illegal
pb:     .word   0

btst_imm:
        .word   0x083c,3,8              | btst #3,#8
        move.w  sr,d2
        .word   0x013c,8                | btst d0,#8
        illegal

movep:
        movep.l d0,0(a0)
        movep.w 1(a1),d2
        movep.w -2(a2),d3
        illegal

move_a7_bytes:
        move.b  (a7)+,d0
        move.b  d1,-(a7)
        move.b  d1,-(a6)
        move.b  (a6)+,d2
        illegal

move_same_reg:
        move.w  (a0)+,(a0)+
        move.b  -(a1),-(a1)
        movea.l (a2)+,a2
        illegal

movem_predec:
        movem.l d0-d7/a0-a6,-(a7)
        movem.l a6,-(a6)
        illegal

movem_postinc:
        movem.w (a0)+,d0/a1
        movem.l (a2)+,a2
        movem.w 4(pc),d3
        illegal
        .word   0x8001

supervisor_op:
        move.w  #0x0700,sr
        illegal

trap15:
        trap    #15
        illegal

chk_fails:
        chk.w   4(a0),d1
        illegal

link_unlk:
        link    a6,#-8
        move.l  a7,d0
        move.l  a6,d1
        unlk    a6
        illegal

| RTS, RTD and RTR return to the labels after the pushes.
returns:
        pea     r1
        rts
r1:     move.l  #0x1234,-(a7)
        pea     r2
        .word   0x4e74,4                | rtd #4
r2:     pea     r3
        move.w  #0x00ff,-(a7)
        rtr
r3:     jsr     sub1
        illegal
sub1:   illegal

rte68000:
        rte
        illegal

high_address:
        ori.l   #1,(a0)+
        btst    #0,(a1)
        illegal

| Forms the 68000 lacks but its table executes: TST An, PC-relative and
| immediate, CHK.L and EXTB.L.
forms_beyond_68000:
        .word   0x4a48                  | tst.w a0
        move.w  sr,d4
        .word   0x4abc,0,0              | tst.l #0
        move.w  sr,d5
        .word   0x4a7a,-2               | tst.w *(pc): the extension word
        .word   0x4111                  | chk.l (a1),d0
        .word   0x49c2                  | extb.l d2
        illegal

move_from_sr:
        move.w  sr,d3
        illegal

move_from_ccr:
        .word   0x42c3                  | move.w ccr,d3
        illegal

rte_frames:
        rte
        illegal

| MOVE.W (0,A0,D0.W*4),D1: the scale bits are ignored on the 68000 tables.
indexed_020:
        .word   0x3230,0x0400           | move.w 0(a0,d0.w*4),d1
        illegal

| MOVE.W (bd.L,A0,D0.W),D1 then MOVE.W #7,D2: the full format's base
| displacement follows the extension word on the 68020 tables.
full_format:
        .word   0x3230,0x0130,0x0000,0x0100     | move.w (0x100,a0,d0.w),d1
        .word   0x343c,7                        | move.w #7,d2
        illegal

jsr_indexed:
        jsr     4(pc,d0.w)
        illegal
        illegal
        illegal

stop_op:
        stop    #0x2300
        illegal

trapv_op:
        trapv
        illegal

bit_numbers:
        btst    d1,d0
        move.w  sr,d2
        bset    #31,d3
        .word   0x0844,0x0105           | bchg #5,d4 (high byte ignored)
        .word   0x08d0,39               | bset #39,(a0): bit 7
        illegal

tas_nbcd:
        tas     (a0)
        nbcd    d0
        illegal

reset_op:
        reset
        illegal
