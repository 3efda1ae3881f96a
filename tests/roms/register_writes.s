| Writes random values to the chips' registers. The long at offset 0x40 of
| the image is the seed (the test patches it); a xorshift generator picks,
| for each of 64 writes, a register block, an offset in it, a size (byte,
| word or long) and a value, with a random pause between two writes. Bus and
| address errors go on with the next write. Then the interrupt mask the seed
| picked is opened and the program counts at 0x800 for ever, or for one seed
| in two counts the interrupts that wake it from STOP.
|
| The generator's state lives in D7 and the writes still to do in D5, marked
| by D6: a machine restart (which keeps the data registers) goes on where it
| was instead of starting over.
        .include "rom_header.inc"

        .org    0x40
seed:   .long   1

        .equ    MARK, 0x52454753        | "REGS"
        .equ    WRITES, 64

main:
        move.w  #0x2700,sr
        lea     0x8000,sp
        cmp.l   #MARK,d6
        beq.s   vectors
        move.l  #MARK,d6
        move.l  seed(pc),d7
        bne.s   seeded
        moveq   #1,d7
seeded: moveq   #WRITES,d5
vectors:
        lea     8.w,a0                  | vectors 2-23: faults and traps go on
        moveq   #21,d0
1:      move.l  #fault,(a0)+
        dbra    d0,1b
        move.w  #231,d0                 | 24-255: interrupts return at once
2:      move.l  #ignore,(a0)+
        dbra    d0,2b

next:   lea     0x8000,sp
        subq.l  #1,d5
        bmi.s   settle
        bsr.s   random
        and.w   #0x3ff,d0               | a pause of up to 1023 turns
3:      dbra    d0,3b
        bsr.s   random
        and.w   #15,d0
        lsl.w   #3,d0
        lea     blocks(pc),a1
        add.w   d0,a1
        move.l  (a1)+,a0                | the block's first address
        bsr.s   random
        mulu.w  (a1),d0                 | an offset below its length
        swap    d0
        add.w   d0,a0
        bsr.s   random
        move.l  d0,d1                   | the value
        bsr.s   random
        and.w   #3,d0
        beq.s   byte
        cmp.w   #3,d0
        beq.s   byte
        move.l  a0,d2                   | words and longs at even addresses
        bclr    #0,d2
        move.l  d2,a0
        cmp.w   #1,d0
        beq.s   word
        move.l  d1,(a0)
        bra.s   next
word:   move.w  d1,(a0)
        bra.s   next
byte:   move.b  d1,(a0)
        bra.s   next

settle: moveq   #0,d5                   | no writes left, also after a restart
        move.l  d7,d0
        and.w   #0x0300,d0              | interrupt mask 0, 2, 4 or 6
        add.w   d0,d0
        or.w    #0x2000,d0
        move.w  d0,sr
        btst    #11,d7                  | one seed in two idles stopped
        bne.s   stopped
count:  addq.l  #1,0x800.w
        bra.s   count
stopped:
        stop    #0x2300
        addq.l  #1,0x800.w
        bra.s   stopped

| xorshift32 on D7; the new value in D0 too. Changes D3.
random: move.l  d7,d0
        lsl.l   #8,d0
        lsl.l   #5,d0
        eor.l   d0,d7
        move.l  d7,d0
        moveq   #17,d3
        lsr.l   d3,d0
        eor.l   d0,d7
        move.l  d7,d0
        lsl.l   #5,d0
        eor.l   d0,d7
        move.l  d7,d0
        rts

fault:  bra.w   next
ignore: rte

| Register blocks: first address, length in bytes. Sixteen entries; the
| keyboard ACIA, the MFP and the Shifter appear twice.
        .even
blocks: .long   0xfffa00, 0x00300000    | MFP
        .long   0xfffa00, 0x00300000
        .long   0xff8200, 0x00640000    | Shifter
        .long   0xff8240, 0x00220000    | palette and resolution
        .long   0xff8600, 0x00100000    | DMA and floppy controller
        .long   0xff8600, 0x00100000
        .long   0xff8800, 0x00100000    | sound chip
        .long   0xfffc00, 0x00040000    | keyboard ACIA
        .long   0xfffc00, 0x00040000
        .long   0xfffc04, 0x00040000    | MIDI ACIA
        .long   0xff8a00, 0x003e0000    | Blitter
        .long   0xfffc20, 0x00200000    | clock
        .long   0xfff700, 0x00080000    | hard-disk port
        .long   0xff8000, 0x00020000    | memory configuration
        .long   0xff8900, 0x00260000    | microwire
        .long   0xff8200, 0x00100000    | video base and counter
