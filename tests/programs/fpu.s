| Snippets for the tests of the floating-point unit (assembled for a 68020
| with a 68881). Each ends with ILLEGAL, where the test stops. Snippet table
| at 0x1000 (in the order of the enums in the test), code from 0x1200.
        .org    0x1000
        .long   load_l, load_s, load_x, load_p, load_w, load_d, load_b
        .long   store_l, store_s, store_x, store_p, store_w, store_d, store_b
        .long   op_fadd, op_fsub, op_fmul, op_fdiv, op_fsgldiv, op_fsglmul, op_fmod
        .long   op_frem, op_fscale, op_fsqrt, op_fabs, op_fneg, op_fsin, op_fcos
        .long   op_ftan, op_fetox, op_flogn, op_flog10, op_flog2, op_ftwotox
        .long   op_ftentox, op_fsinh, op_fcosh, op_ftanh, op_fatan, op_fasin
        .long   op_facos, op_fatanh, op_fetoxm1, op_flognp1, op_fgetexp, op_fgetman
        .long   op_fint, op_fintrz, op_fmove
        .long   conditions, fbcc_word, fbcc_long, fdbcc_loop, ftrap_word, ftrap_long
        .long   ftrap_none, constants, bad_constant, state_frames, registers_multiple
        .long   control_registers, immediates, sincos, data_register

        .org    0x1200
        .irp    f,l,s,x,p,w,d,b
load_\f: fmove.\f (a0),fp0
        illegal
        .endr
        .irp    f,l,s,x,w,d,b
store_\f: fmove.\f fp0,(a1)
        illegal
        .endr
store_p: fmove.p fp0,(a1){#0}
        illegal

| Each operation with FP1 as source and FP0 as destination.
        .irp    op,fadd,fsub,fmul,fdiv,fsgldiv,fsglmul,fmod,frem,fscale,fsqrt,fabs,fneg
op_\op: \op\().x fp1,fp0
        illegal
        .endr
        .irp    op,fsin,fcos,ftan,fetox,flogn,flog10,flog2,ftwotox,ftentox,fsinh,fcosh
op_\op: \op\().x fp1,fp0
        illegal
        .endr
        .irp    op,ftanh,fatan,fasin,facos,fatanh,fetoxm1,flognp1,fgetexp,fgetman,fint
op_\op: \op\().x fp1,fp0
        illegal
        .endr
op_fintrz: fintrz.x fp1,fp0
        illegal
op_fmove: fmove.x fp1,fp0
        illegal

| FP0 compared with FP1, then FScc of conditions 0-31 into (A0)+.
conditions:
        fcmp.x  fp1,fp0
        .irp    c,0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31
        .word   0xf258,\c              | fs<c>.b (a0)+
        .endr
        illegal

| D7 = 1 when the branch falls through, 2 when it is taken.
fbcc_word:
        .word   0xf292,1f-fbcc_word-2   | fbgt.w
        moveq   #1,d7
        illegal
1:      moveq   #2,d7
        illegal
fbcc_long:
        .word   0xf2cd                  | fbule.l
        .long   1f-fbcc_long-2
        moveq   #1,d7
        illegal
1:      moveq   #2,d7
        illegal

| D1 counts the passes of an FDBEQ loop on D0.
fdbcc_loop:
1:      addq.l  #1,d1
        fdbeq   d0,1b
        illegal

ftrap_word:
        ftrapeq.w #5
        illegal
ftrap_long:
        ftrapne.l #7
        illegal
ftrap_none:
        ftrapgt
        illegal

| Each constant of the ROM to (A0)+ as a double.
constants:
        .irp    c,0x00,0x0b,0x0c,0x0d,0x0e,0x0f,0x30,0x31,0x32,0x33,0x34,0x35,0x36,0x37,0x38,0x39,0x3a,0x3b
        fmovecr.x #\c,fp0
        fmove.d fp0,(a0)+
        .endr
        illegal
bad_constant:
        .word   0xf200,0x5c3c           | fmovecr.x #0x3c,fp0
        illegal

state_frames:
        fsave   -(a7)
        frestore (a7)+
        illegal

| FP0-FP7 to -(A0), then back from (A1)+ into FP7 down to FP0 with a
| dynamic list in D0.
registers_multiple:
        fmovem.x fp0-fp7,-(a0)
        fmovem.x (a1)+,d0
        illegal

control_registers:
        fmove.l d0,fpcr
        fmovem.l fpcr/fpsr/fpiar,-(a0)
        fmovem.l (a0)+,fpsr/fpiar
        fmove.l fpcr,d1
        illegal

immediates:
        fmove.b #-3,fp0
        fmove.w #-300,fp1
        fmove.l #100000,fp2
        fmove.s #0r1.5,fp3
        fmove.d #0r-2.25,fp4
        .word   0xf23c,0x4a80           | fmove.x #3.5,fp5: the assembler lays
        .extend 3.5                     | out extended immediates wrongly
        fadd.l  #2,fp5
        illegal

sincos:
        fsincos.x fp1,fp2:fp0
        illegal

data_register:
        fmove.w d0,fp0
        fmove.b fp0,d1
        fmove.s fp0,d2
        .word   0xf203,0x6800           | fmove.x fp0,d3: no such form
        illegal
