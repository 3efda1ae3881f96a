| Branch, decrement-and-branch and set-by-condition instructions at fixed
| slots from 0x1000, with the address-error vector pointing at a handler.
        .org    0x0c
        .long   address_error
        .org    0x1000
loop:   dbf     d0,loop
        .org    0x1010
        dbeq    d1,loop
        .org    0x1020
        .word   0x67ff                  | beq to the odd address 0x1021
        .org    0x1030
        .word   0x60ff                  | bra to the odd address 0x1031
        .org    0x1040
        .word   0x61ff                  | bsr with a long displacement
        .long   16
        .org    0x1060
        bsr.s   callee
        .org    0x1070
callee: nop
        .org    0x1080
        .word   0x6700,0x0000           | beq.w to its own extension word
        .org    0x1090
        st      (a7)+
        .org    0x10a0
        sne     -(a3)
        .org    0x10b0
        seq     d0
        .org    0x10c0
self:   bra.s   self
        .org    0x10d0
        dbt     d2,loop
        .org    0x1100
| Sums 10 + 9 + ... + 1 into d0 and counts the turns in d2.
sum:    moveq   #0,d0
        moveq   #10,d1
        moveq   #0,d2
1:      add.w   d1,d0
        addq.l  #1,d2
        subq.w  #1,d1
        bne.s   1b
| Then runs a dbf loop over the same range: d3 ends at 0xffff.
        moveq   #9,d3
        moveq   #0,d4
2:      addq.w  #1,d4
        dbf     d3,2b
done:   bra.s   done
address_error:
        bra.s   address_error
