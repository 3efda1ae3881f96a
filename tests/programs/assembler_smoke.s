| Checks that the build assembles 68000 code into a raw image at origin 0.
        moveq   #1,d0
        nop
        move.w  #0x1234,d1
        bra.s   done
        illegal
done:   .word   0x4afc
