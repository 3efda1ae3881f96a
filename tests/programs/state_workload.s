| WORKLOAD.PRG, for the AUTO folder: a bit of everything a saved state has to
| carry across, one after the other. The processor first idles in STOP for
| 40 frames; Timer B counts display lines (an interrupt every 50) for the
| whole run; a line goes to the printer and
| bytes to the MIDI port; B:\OUT.BIN is written in ten pieces of 10,000 bytes
| and read back; the Blitter copies 64 KB twice; C:\OUT.BIN gets 30,000 bytes.
| At the end C:\RESULT.BIN holds the results, longs: Timer B's interrupts,
| the sum of the bytes read back from B:, then the results of Fcreate B:,
| the ten Fwrites, Fclose, Fopen, Fread, Fclose, Fcreate C:, Fwrite, Fclose,
| the printer's and the Blitter's outcome.

        .include "gemdos_program.inc"

        .equ    PIECE, 10000
        .equ    PIECES, 10
        .equ    BLIT_WORDS, 256
        .equ    BLIT_LINES, 128
        .equ    RESULTS, PIECE * PIECES           | in the BSS, behind the data
        .equ    BLITBUF, RESULTS + 128
        .equ    bss_size, BLITBUF + BLIT_WORDS * BLIT_LINES * 2
        .equ    buf, text_end

        .text
        gemdos_program_header bss_size

| The BSS's byte at \offset into \reg (too far for a PC-relative address).
        .macro  bss offset, reg
        lea     text_end(pc),\reg
        add.l   #\offset,\reg
        .endm
        .macro  xbios fn, args
        move.w  #\fn,-(sp)
        trap    #14
        lea     \args+2(sp),sp
        .endm

text_start:
        bss     RESULTS+8,a5            | a5: the next result
        lea     buf(pc),a0              | the data: i * 7 + (i >> 8)
        move.l  #PIECE*PIECES-1,d1
        moveq   #0,d2
1:      move.l  d2,d3
        lsr.l   #8,d3
        move.b  d2,d0
        mulu    #7,d0
        add.b   d3,d0
        move.b  d0,(a0)+
        addq.l  #1,d2
        subq.l  #1,d1
        bpl.s   1b

        pea     idle(pc)                | STOP, 40 frames long
        xbios   38,4

        pea     timer_b(pc)             | Xbtimer(B, event count, 50, timer_b)
        move.w  #50,-(sp)
        move.w  #8,-(sp)
        move.w  #1,-(sp)
        xbios   31,10

        lea     line(pc),a4             | a line to the printer
        moveq   #-1,d6
2:      moveq   #0,d0
        move.b  (a4)+,d0
        beq.s   3f
        move.w  d0,-(sp)
        gemdos  5,2                     | Cprnout
        and.l   d0,d6
        bra.s   2b
3:      move.l  d6,d7                   | kept for the end

        pea     midi(pc)                | Midiws(n - 1, bytes)
        move.w  #midi_end-midi-1,-(sp)
        xbios   12,6

        clr.w   -(sp)                   | Fcreate B:\OUT.BIN
        pea     b_name(pc)
        gemdos  0x3c,6
        move.l  d0,(a5)+
        bmi     4f
        move.w  d0,d5
        lea     buf(pc),a4
        moveq   #PIECES-1,d4
5:      move.l  a4,-(sp)                | Fwrite(handle, PIECE, piece)
        move.l  #PIECE,-(sp)
        move.w  d5,-(sp)
        gemdos  0x40,10
        move.l  d0,(a5)+
        lea     PIECE(a4),a4
        dbra    d4,5b
        move.w  d5,-(sp)
        gemdos  0x3e,2                  | Fclose
        move.l  d0,(a5)+

        clr.w   -(sp)                   | read it back over the data
        pea     b_name(pc)
        gemdos  0x3d,6                  | Fopen
        move.l  d0,(a5)+
        bmi.s   4f
        move.w  d0,d5
        pea     buf(pc)
        move.l  #PIECE*PIECES,-(sp)
        move.w  d5,-(sp)
        gemdos  0x3f,10                 | Fread
        move.l  d0,(a5)+
        move.w  d5,-(sp)
        gemdos  0x3e,2
        move.l  d0,(a5)+
        lea     buf(pc),a0              | the sum of what was read
        move.l  #PIECE*PIECES-1,d1
        moveq   #0,d2
        moveq   #0,d0
6:      move.b  (a0)+,d0
        add.l   d0,d2
        subq.l  #1,d1
        bpl.s   6b
        bss     RESULTS,a0
        move.l  d2,4(a0)

4:      pea     blit(pc)                | the Blitter, twice
        xbios   38,4
        pea     blit(pc)
        xbios   38,4

        clr.w   -(sp)                   | Fcreate C:\OUT.BIN
        pea     c_name(pc)
        gemdos  0x3c,6
        move.l  d0,(a5)+
        bmi.s   7f
        move.w  d0,d5
        pea     buf(pc)
        move.l  #30000,-(sp)
        move.w  d5,-(sp)
        gemdos  0x40,10
        move.l  d0,(a5)+
        move.w  d5,-(sp)
        gemdos  0x3e,2
        move.l  d0,(a5)+

7:      move.l  d7,(a5)+                | the printer's outcome
        lea     blitted(pc),a0
        move.l  (a0),(a5)+
        move.w  #8,-(sp)                | Jdisint(Timer B)
        xbios   26,2
        bss     RESULTS,a0
        lea     counter(pc),a1
        move.l  (a1),(a0)

        clr.w   -(sp)                   | C:\RESULT.BIN
        pea     r_name(pc)
        gemdos  0x3c,6
        move.w  d0,d5
        bmi.s   8f
        bss     RESULTS,a0
        move.l  a0,-(sp)
        move.l  a5,d0
        sub.l   a0,d0
        move.l  d0,-(sp)
        move.w  d5,-(sp)
        gemdos  0x40,10
        move.w  d5,-(sp)
        gemdos  0x3e,2
8:      clr.w   -(sp)
        trap    #1                      | Pterm0

| Timer B: count, and end the interrupt (the MFP runs with software
| end-of-interrupt).
timer_b:
        move.l  a0,-(sp)
        lea     counter(pc),a0
        addq.l  #1,(a0)
        move.l  (sp)+,a0
        move.b  #0xfe,0xfffffa0f.w
        rte

| Waits for 40 vertical blanks in STOP.
idle:   move.w  sr,-(sp)
        move.l  0x466.w,d0              | the frame counter
        add.l   #40,d0
1:      stop    #0x2300
        cmp.l   0x466.w,d0
        bhi.s   1b
        move.w  (sp)+,sr
        rts

| 64 KB of the ROM into the buffer, the processor held while the Blitter
| works. Leaves 1 in `blitted` when the copy matches.
blit:   lea     0xffff8a00.w,a0
        move.w  #2,0x20(a0)             | source: x and y increments
        move.w  #2,0x22(a0)
        move.l  0x4f2.w,0x24(a0)        | the ROM (the OS header's address)
        move.w  #-1,0x28(a0)            | end masks
        move.w  #-1,0x2a(a0)
        move.w  #-1,0x2c(a0)
        move.w  #2,0x2e(a0)             | destination: x and y increments
        move.w  #2,0x30(a0)
        bss     BLITBUF,a1
        move.l  a1,0x32(a0)
        move.w  #BLIT_WORDS,0x36(a0)
        move.w  #BLIT_LINES,0x38(a0)
        move.b  #2,0x3a(a0)             | source only
        move.b  #3,0x3b(a0)             | copy
        clr.b   0x3d(a0)                | no skew
        move.b  #0xc0,0x3c(a0)          | busy, hog
1:      btst    #7,0x3c(a0)
        bne.s   1b
        move.l  0x4f2.w,a2
        move.w  #BLIT_WORDS*BLIT_LINES-1,d0
        moveq   #1,d1
2:      cmpm.w  (a1)+,(a2)+
        beq.s   3f
        moveq   #0,d1
3:      dbra    d0,2b
        lea     blitted(pc),a0
        move.l  d1,(a0)
        rts

counter:        .long   0
blitted:        .long   0
line:           .asciz  "Saved states print on\r\n"
midi:           .byte   0x90, 60, 100, 0x80, 60, 0, 0xc0, 5
midi_end:
b_name:         .asciz  "B:\\OUT.BIN"
c_name:         .asciz  "C:\\OUT.BIN"
r_name:         .asciz  "C:\\RESULT.BIN"
        .even
text_end:
        .long   0                       | no relocations
