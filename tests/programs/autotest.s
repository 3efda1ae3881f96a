| VANTEST.PRG, a program for the AUTO folder of a test disk. It reads
| \INPUT.DAT from the current drive, computes the file's CRC-32 and length,
| prints them on the console, reads as many keys with the BIOS as the file's
| first byte says ('0'-'9'), asks the XBIOS whether there is a Blitter and
| writes it all to \RESULT.TXT:
|   CRC cccccccc LEN nnnnn COL nn BLT bbbb
|   KEYS <the characters read>
|   SCAN <the scan codes, two hex digits each>
| (lines end with CR LF). COL is the console cursor's column, read from the
| Line-A variables, after the first line was printed from column 0. A file
| that can't be read gives the single line "FAIL <what> <code>".
|
| The code addresses everything PC-relative, so the relocation table is
| empty; the buffers lie in the BSS behind the text.

        .equ    INSIZE, 16384
        .equ    inbuf, text_end
        .equ    outbuf, inbuf + INSIZE
        .equ    keybuf, outbuf + 256
        .equ    scanbuf, keybuf + 16
        .equ    bss_size, INSIZE + 256 + 16 + 32

        .include "gemdos_program.inc"
        .text
        gemdos_program_header bss_size

text_start:
        lea     outbuf(pc),a5           | a5: the result text
        clr.w   -(sp)                   | Fopen(name, read-only)
        pea     in_name(pc)
        move.w  #0x3d,-(sp)
        trap    #1
        addq.l  #8,sp
        lea     what_open(pc),a0
        tst.l   d0
        bmi     fail
        move.w  d0,d7                   | d7: handle
        pea     inbuf(pc)               | Fread(handle, INSIZE, inbuf)
        move.l  #INSIZE,-(sp)
        move.w  d7,-(sp)
        move.w  #0x3f,-(sp)
        trap    #1
        lea     12(sp),sp
        move.l  d0,d6                   | d6: length
        move.w  d7,-(sp)                | Fclose
        move.w  #0x3e,-(sp)
        trap    #1
        addq.l  #4,sp
        lea     what_read(pc),a0
        move.l  d6,d0
        bmi     fail

| CRC-32 (reflected, polynomial 0xedb88320) of the d6 bytes at inbuf.
        moveq   #-1,d5
        move.l  #0xedb88320,d4
        lea     inbuf(pc),a0
        move.l  d6,d3
        bra.s   2f
1:      moveq   #0,d0
        move.b  (a0)+,d0
        eor.l   d0,d5
        moveq   #7,d1
3:      lsr.l   #1,d5
        bcc.s   4f
        eor.l   d4,d5
4:      dbra    d1,3b
2:      subq.l  #1,d3
        bpl.s   1b
        not.l   d5

        lea     tag_crc(pc),a0
        bsr     copy
        move.l  d5,d0
        moveq   #8,d1
        bsr     hex
        lea     tag_len(pc),a0
        bsr     copy
        move.l  d6,d0
        bsr     decimal
        clr.b   (a5)

| The first line on the console, from column 0, then the cursor's column.
        pea     crlf(pc)
        move.w  #9,-(sp)                | Cconws
        trap    #1
        addq.l  #6,sp
        pea     outbuf(pc)
        move.w  #9,-(sp)
        trap    #1
        addq.l  #6,sp
        .word   0xa000                  | Line-A: a0 = the variables
        move.w  -0x1c(a0),d4            | the cursor's column
        pea     crlf(pc)
        move.w  #9,-(sp)
        trap    #1
        addq.l  #6,sp

        lea     tag_col(pc),a0
        bsr     copy
        moveq   #0,d0
        move.w  d4,d0
        bsr     decimal

        move.w  #-1,-(sp)               | Blitmode(-1): bit 1 set with a Blitter
        move.w  #64,-(sp)
        trap    #14
        addq.l  #4,sp
        move.w  d0,d4
        lea     tag_blt(pc),a0
        bsr     copy
        move.l  d4,d0
        moveq   #4,d1
        bsr     hex

| Keys: as many as the file's first byte says.
        moveq   #0,d3
        move.b  inbuf(pc),d3
        sub.b   #'0',d3
        cmp.b   #9,d3
        bls.s   1f
        moveq   #0,d3
1:      lea     keybuf(pc),a3
        lea     scanbuf(pc),a4
        bra.s   3f
2:      move.w  #2,-(sp)                | Bconin(console)
        move.w  #2,-(sp)
        trap    #13
        addq.l  #4,sp
        move.b  d0,(a3)+
        swap    d0
        move.l  a5,-(sp)
        move.l  a4,a5
        moveq   #2,d1
        bsr     hex
        move.l  a5,a4
        move.l  (sp)+,a5
3:      dbra    d3,2b
        clr.b   (a3)
        clr.b   (a4)
        lea     tag_keys(pc),a0
        bsr     copy
        lea     keybuf(pc),a0
        bsr     copy
        lea     tag_scan(pc),a0
        bsr     copy
        lea     scanbuf(pc),a0
        bsr     copy
        lea     crlf(pc),a0
        bsr     copy

| The result file.
write:  clr.w   -(sp)                   | Fcreate(name, no attributes)
        pea     out_name(pc)
        move.w  #0x3c,-(sp)
        trap    #1
        addq.l  #8,sp
        tst.l   d0
        bmi.s   done
        move.w  d0,d7
        move.l  a5,d6
        lea     outbuf(pc),a0
        sub.l   a0,d6
        pea     (a0)                    | Fwrite(handle, length, outbuf)
        move.l  d6,-(sp)
        move.w  d7,-(sp)
        move.w  #0x40,-(sp)
        trap    #1
        lea     12(sp),sp
        move.w  d7,-(sp)                | Fclose
        move.w  #0x3e,-(sp)
        trap    #1
        addq.l  #4,sp
        pea     said_done(pc)
        move.w  #9,-(sp)
        trap    #1
        addq.l  #6,sp
done:   clr.w   -(sp)                   | Pterm0
        trap    #1

| "FAIL <what> <code>": a0 names the step, d0 holds the error.
fail:   move.l  d0,d6
        move.l  a0,-(sp)
        lea     tag_fail(pc),a0
        bsr.s   copy
        move.l  (sp)+,a0
        bsr.s   copy
        moveq   #' ',d0
        move.b  d0,(a5)+
        move.l  d6,d0
        moveq   #8,d1
        bsr.s   hex
        lea     crlf(pc),a0
        bsr.s   copy
        bra     write

| Appends the string at a0 (without its NUL) at a5.
copy:   move.b  (a0)+,d0
        beq.s   1f
        move.b  d0,(a5)+
        bra.s   copy
1:      rts

| Appends the low d1 hex digits of d0 at a5.
hex:    move.l  d2,-(sp)
        move.l  d1,d2
        lsl.w   #2,d2
        ror.l   d2,d0                   | the top digit wanted into the low nibble
        subq.w  #1,d1
1:      rol.l   #4,d0
        move.b  d0,d2
        and.b   #15,d2
        add.b   #'0',d2
        cmp.b   #'9',d2
        bls.s   2f
        add.b   #'a'-'0'-10,d2
2:      move.b  d2,(a5)+
        dbra    d1,1b
        move.l  (sp)+,d2
        rts

| Appends d0 (below 655360) in decimal at a5.
decimal:
        lea     -8(sp),sp
        move.l  sp,a1
1:      divu    #10,d0
        swap    d0
        add.b   #'0',d0
        move.b  d0,(a1)+
        clr.w   d0
        swap    d0
        tst.w   d0
        bne.s   1b
2:      move.b  -(a1),(a5)+
        cmp.l   sp,a1
        bne.s   2b
        lea     8(sp),sp
        rts

in_name:        .asciz  "\\INPUT.DAT"
out_name:       .asciz  "\\RESULT.TXT"
tag_crc:        .asciz  "CRC "
tag_len:        .asciz  " LEN "
tag_col:        .asciz  " COL "
tag_blt:        .asciz  " BLT "
tag_keys:       .asciz  "\r\nKEYS "
tag_scan:       .asciz  "\r\nSCAN "
tag_fail:       .asciz  "FAIL "
what_open:      .asciz  "open"
what_read:      .asciz  "read"
said_done:      .asciz  "VANTEST done\r\n"
crlf:           .asciz  "\r\n"
        .even
text_end:
        .long   0                       | no relocations
