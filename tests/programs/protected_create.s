| CREATE.PRG, a program for the AUTO folder of a write-protected test disk.
| It creates \NEW.TXT on the current drive (and closes it when that works)
| with its own critical-error handler installed, which hands every disk
| error straight back to GEMDOS instead of asking the user, and keeps what
| happened in RAM for the test to find:
|   "VANTPROT", then longs: Fcreate's result, the error the handler was last
|   called with (0 if never), how often it was called, Fclose's result (0
|   when there was no file to close)
| The eight bytes of the mark are stored last, computed at run time so that
| they appear nowhere in the program's text. The program stays resident
| (Ptermres), so the record outlives it.

        .equ    record, text_end
        .equ    bss_size, 24
        .equ    r_create, 8
        .equ    r_error, 12
        .equ    r_calls, 16
        .equ    r_close, 20

        .include "gemdos_program.inc"
        .text
        gemdos_program_header bss_size

text_start:
        lea     record(pc),a5
        pea     critic(pc)              | Setexc(0x101, critic)
        move.w  #0x101,-(sp)
        move.w  #5,-(sp)
        trap    #13
        addq.l  #8,sp
        move.l  d0,a4                   | a4: the handler it replaced

        clr.w   -(sp)                   | Fcreate(name, no attributes)
        pea     new_name(pc)
        move.w  #0x3c,-(sp)
        trap    #1
        addq.l  #8,sp
        move.l  d0,r_create(a5)
        bmi.s   1f
        move.w  d0,-(sp)                | Fclose(handle)
        move.w  #0x3e,-(sp)
        trap    #1
        addq.l  #4,sp
        move.l  d0,r_close(a5)

1:      move.l  a4,-(sp)                | Setexc(0x101, the old handler)
        move.w  #0x101,-(sp)
        move.w  #5,-(sp)
        trap    #13
        addq.l  #8,sp
        move.l  #0x56414e54-1,d0        | "VANT"
        addq.l  #1,d0
        move.l  d0,(a5)
        move.l  #0x50524f54-1,d0        | "PROT"
        addq.l  #1,d0
        move.l  d0,4(a5)

        clr.w   -(sp)                   | Ptermres(basepage to BSS end, 0)
        move.l  #256 + text_end - text_start + bss_size,-(sp)
        move.w  #0x31,-(sp)
        trap    #1

| The critical-error handler, called as critic(WORD error, WORD drive): the
| error goes back to GEMDOS as the call's result.
critic: lea     record(pc),a0
        move.w  4(sp),d0
        ext.l   d0
        move.l  d0,r_error(a0)
        addq.l  #1,r_calls(a0)
        rts

new_name:       .asciz  "\\NEW.TXT"
        .even
text_end:
        .long   0                       | no relocations
