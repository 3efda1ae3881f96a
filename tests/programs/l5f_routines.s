| Small routines made only of lines 5-F instructions, each ending in a
| branch to itself. The test sets up registers and memory and runs them.

| CRC-16 (polynomial in d4, initial value 0xffff) of d6 + 1 bytes at a0.
        .org    0x1000
crc16:  moveq   #-1,d0
1:      moveq   #0,d2
        or.b    (a0)+,d2
        lsl.w   #8,d2
        eor.w   d2,d0
        moveq   #7,d3
2:      lsl.w   #1,d0
        bcc.s   3f
        eor.w   d4,d0
3:      dbf     d3,2b
        dbf     d6,1b
crc_end: bra.s  crc_end

| Adds the 128-bit number ending at a0 to the one ending at a1.
        .org    0x1100
add128: moveq   #0,d0
        add.l   d0,d0                   | clears X
        moveq   #3,d1
1:      addx.l  -(a0),-(a1)
        dbf     d1,1b
add_end: bra.s  add_end

| Adds the 4-byte packed-decimal number ending at a0 to the one ending at a1.
        .org    0x1200
bcd4:   moveq   #0,d0
        add.l   d0,d0
        moveq   #3,d1
1:      abcd    -(a0),-(a1)
        dbf     d1,1b
bcd_end: bra.s  bcd_end

| Greatest common divisor of d0 and d1 by subtraction, into d0.
        .org    0x1300
gcd:    cmp.l   d1,d0
        beq.s   gcd_end
        bhi.s   1f
        sub.l   d0,d1
        bra.s   gcd
1:      sub.l   d1,d0
        bra.s   gcd
gcd_end: bra.s  gcd_end

| Sum of the squares 1..d1 into d0.
        .org    0x1400
squares: moveq  #0,d0
1:      moveq   #0,d2
        add.w   d1,d2
        muls.w  d2,d2
        add.l   d2,d0
        subq.w  #1,d1
        bne.s   1b
sq_end: bra.s   sq_end

| Writes the decimal digits of d0 (below 655360) as ASCII, backwards from a1.
        .org    0x1500
decimal: moveq  #16,d5
        moveq   #0,d3
1:      divu.w  #10,d0
        moveq   #0,d1
        add.l   d0,d1
        lsr.l   d5,d1                   | the remainder
        .word   0xc0bc,0x0000,0xffff    | and.l #0xffff,d0: the quotient
        .word   0x823c,0x0030           | or.b #'0',d1
        or.b    d1,-(a1)
        cmp.l   d3,d0
        bne.s   1b
dec_end: bra.s  dec_end
