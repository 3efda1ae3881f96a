| Takes every kind of exception the 68000 table raises without a handler
| of its own, and a VBL out of STOP, through real vectors and RTE.
| D1 counts TRAP #1, D2 line A, D3 line F, D4 ILLEGAL, D5 the VBL.
        .org    0x10
        .long   illegal_handler         | 4
        .org    0x28
        .long   linea_handler           | 10
        .long   linef_handler           | 11
        .org    0x70
        .long   vbl_handler             | 28, level 4
        .org    0x84
        .long   trap1_handler           | 33

        .org    0x400
start:  move.w  #0x2700,sr
        trap    #1
        .word   0xa00a
        .word   0xf00f
        illegal
        trap    #1
        stop    #0x2300                 | until the frame's VBL
        .word   0x4afa                  | leave the run loop

trap1_handler:
        addq.w  #1,d1
        rte
linea_handler:
        addq.w  #1,d2
        addq.l  #2,2(sp)                | past the line-A word
        rte
linef_handler:
        addq.w  #1,d3
        addq.l  #2,2(sp)
        rte
illegal_handler:
        addq.w  #1,d4
        addq.l  #2,2(sp)
        rte
vbl_handler:
        addq.w  #1,d5
        rte
