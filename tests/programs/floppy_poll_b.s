| POLL.PRG, for the AUTO folder of drive A: looks for B:\KEEP.BIN every 10 vertical blanks, at most
| POLLS times, as a program waiting for the user's disk does. Its own critical-error handler hands
| every disk error straight back, so no alert stops it while the drive is empty. Then it creates
| A:\FOUND.TXT when it found the file, and B:\MORE.TXT: a write through what the operating system
| holds of B's FAT and directory, which are the old disk's when it missed the change of disk. Both
| hold "more".
        .equ    POLLS, 100

        .include "gemdos_program.inc"
        .text
        gemdos_program_header 0

text_start:
        pea     critic(pc)
        move.l  #0x00050101,-(sp)       | Setexc(0x101, critic)
        trap    #13
        addq.l  #8,sp
        move.l  d0,a5                   | a5: the old handler

        move.w  #POLLS-1,d7
1:      moveq   #10-1,d6
2:      move.w  #37,-(sp)               | Vsync, 10 times
        trap    #14
        addq.l  #2,sp
        dbra    d6,2b
        clr.w   -(sp)                   | Fsfirst(B:\KEEP.BIN, plain files)
        pea     keep_name(pc)
        gemdos  0x4e,6
        tst.l   d0
        dbeq    d7,1b

        bne.s   3f
        lea     found_name(pc),a4       | found: A:\FOUND.TXT
        bsr.s   make
3:      lea     more_name(pc),a4        | B:\MORE.TXT
        bsr.s   make

        move.l  a5,-(sp)
        move.l  #0x00050101,-(sp)       | Setexc(0x101, the old handler)
        trap    #13
        addq.l  #8,sp
        clr.w   -(sp)
        trap    #1                      | Pterm0

| Creates the file named at a4 with "more" in it.
make:   clr.w   -(sp)
        move.l  a4,-(sp)
        gemdos  0x3c,6                  | Fcreate
        move.w  d0,d5
        bmi.s   1f
        pea     more(pc)
        move.l  #4,-(sp)
        move.w  d5,-(sp)
        gemdos  0x40,10                 | Fwrite
        move.w  d5,-(sp)
        gemdos  0x3e,2                  | Fclose
1:      rts

critic: move.w  4(sp),d0                | critic(WORD error, WORD drive): the error back
        ext.l   d0
        rts

keep_name:      .asciz  "B:\\KEEP.BIN"
found_name:     .asciz  "A:\\FOUND.TXT"
more_name:      .asciz  "B:\\MORE.TXT"
more:           .ascii  "more"
        .even
text_end:
        .long   0                       | no relocations
