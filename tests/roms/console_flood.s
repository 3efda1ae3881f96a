| Fills the console without end: reads each byte of the I/O page's lower
| half in turn, where no chip answers, so that every read is a bus error
| with a line of its own, and then starts again.
        .include "rom_header.inc"

main:   move.w  #0x2700,sr
        lea     0x8000,sp
        move.l  #fault,0x8.w            | bus error
scan:   lea     0xff0000,a0
next:   tst.b   (a0)+
        cmpa.l  #0xff8000,a0
        bne.s   next
        bra.s   scan
fault:  lea     0x8000,sp               | the frame is dropped
        bra.s   next
