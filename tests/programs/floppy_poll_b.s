| POLL.PRG, for the AUTO folder of drive A: looks for B:\KEEP.BIN every 10 vertical blanks, at most
| POLLS times, as a program waiting for the user's disk does. Its own critical-error handler hands
| every disk error straight back, so no alert stops it while the drive is empty. Then it copies the
| first 16 bytes of B:\KEEP.BIN (when it opens) to A:\SEEN.TXT and creates B:\MORE.TXT ("more"):
| a write through what the operating system holds of B's FAT and directory, which are the old
| disk's when it missed the change of disk.
        .equ    POLLS, 100
        .equ    buf, text_end

        .include "gemdos_program.inc"
        .text
        gemdos_program_header 16

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

        clr.w   -(sp)                   | Fopen(B:\KEEP.BIN, read)
        pea     keep_name(pc)
        gemdos  0x3d,6
        move.w  d0,d5
        bmi.s   3f
        pea     buf(pc)                 | Fread(handle, 16, buf)
        move.l  #16,-(sp)
        move.w  d5,-(sp)
        gemdos  0x3f,10
        move.l  d0,d4
        move.w  d5,-(sp)
        gemdos  0x3e,2                  | Fclose
        tst.l   d4
        ble.s   3f
        clr.w   -(sp)                   | A:\SEEN.TXT
        pea     seen_name(pc)
        gemdos  0x3c,6
        move.w  d0,d5
        bmi.s   3f
        pea     buf(pc)
        move.l  d4,-(sp)
        move.w  d5,-(sp)
        gemdos  0x40,10
        move.w  d5,-(sp)
        gemdos  0x3e,2

3:      clr.w   -(sp)                   | B:\MORE.TXT
        pea     more_name(pc)
        gemdos  0x3c,6
        move.w  d0,d5
        bmi.s   4f
        pea     more(pc)
        move.l  #4,-(sp)
        move.w  d5,-(sp)
        gemdos  0x40,10
        move.w  d5,-(sp)
        gemdos  0x3e,2

4:      move.l  a5,-(sp)
        move.l  #0x00050101,-(sp)       | Setexc(0x101, the old handler)
        trap    #13
        addq.l  #8,sp
        clr.w   -(sp)
        trap    #1                      | Pterm0

critic: move.w  4(sp),d0                | critic(WORD error, WORD drive): the error back
        ext.l   d0
        rts

keep_name:      .asciz  "B:\\KEEP.BIN"
seen_name:      .asciz  "A:\\SEEN.TXT"
more_name:      .asciz  "B:\\MORE.TXT"
more:           .ascii  "more"
        .even
text_end:
        .long   0                       | no relocations
