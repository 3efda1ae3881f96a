| A loop of everyday 68000 instructions for the run-loop benchmark: moves
| to and from memory, address arithmetic, ALU and shift operations, a
| compare with a conditional branch, a subroutine call and DBF. It runs
| d7 + 1 passes and ends on the word 0x4afa, which the benchmark turns
| into a return from the run loop.
        .text
        .org    0x1000
start:
        lea     buffer,%a0
        moveq   #0,%d0
        move.l  #0x12345678,%d1
loop:
        move.l  %d1,(%a0)+
        add.l   %d0,%d1
        eor.w   %d1,%d2
        lsl.l   #3,%d3
        addq.w  #1,%d0
        cmp.w   %d2,%d3
        bne.s   1f
        addq.l  #1,%d4
1:      bsr.s   sub
        lea     -4(%a0),%a0
        dbf     %d7,loop
        .word   0x4afa
sub:
        move.w  (%a0),%d5
        swap    %d5
        add.w   %d5,%d6
        rts
        .org    0x2000
buffer: .long   0
