| Single arithmetic instructions at fixed slots of 16 bytes from 0x1000,
| and the divide-by-zero vector pointing at a handler.
        .org    0x14
        .long   zero_divide
        .org    0x1000
        divs.w  d1,d0
        .org    0x1010
        divu.w  d1,d0
        .org    0x1020
        divu.w  #0,d0
        nop
        .org    0x1030
        muls.w  d1,d0
        .org    0x1040
        mulu.w  d1,d0
        .org    0x1050
        abcd    d1,d0
        .org    0x1060
        sbcd    d1,d0
        .org    0x1070
        abcd    -(a7),-(a7)
        .org    0x1080
        sbcd    -(a1),-(a2)
        .org    0x1090
        addx.l  d1,d0
        .org    0x10a0
        subx.b  d1,d0
        .org    0x10b0
        addx.b  -(a0),-(a0)
        .org    0x10c0
        cmpm.w  (a0)+,(a0)+
        .org    0x10d0
        addq.w  #1,a0
        .org    0x10e0
        divs.w  (a7)+,d0
        .org    0x10f0
        adda.w  (a0)+,a0
        .org    0x1100
        subx.l  -(a1),-(a2)
        .org    0x1110
        cmpa.w  d1,a0
        .org    0x1120
        exg     d3,a3
        .org    0x1130
        .word   0xd03c,0x12ff   | add.b #imm,d0 with a stray high byte
        .org    0x1140
        subq.b  #1,-(a7)
        .org    0x1150
        eor.w   d0,(a0)+
        .org    0x1160
        divs.w  d1,d1
        .org    0x1170
        or.w    d3,-(a3)
zero_divide:
        rte
