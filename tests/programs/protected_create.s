| CREATE.PRG, for the AUTO folder of a write-protected test disk: creates \NEW.TXT (and closes it if that
| works) with its own critical-error handler, which hands every disk error straight back to GEMDOS, and
| stays resident with its record behind its text: "VANTPROT", then longs: Fcreate's result, the error the
| handler last got (0 if none), its calls, Fclose's result (0 with nothing to close). The mark comes last,
| made at run time so that it is nowhere in the text.
        .include "gemdos_program.inc"
        .text
        gemdos_program_header 24

text_start:
        lea     text_end(pc),a5         | a5: the record
        pea     critic(pc)
        move.l  #0x00050101,-(sp)       | Setexc(0x101, critic)
        trap    #13
        move.l  d0,4(sp)                | the old handler, for the Setexc below
        clr.w   -(sp)
        pea     new_name(pc)
        move.w  #0x3c,-(sp)             | Fcreate("\NEW.TXT", 0)
        trap    #1
        addq.l  #8,sp
        move.l  d0,8(a5)
        bmi.s   1f
        move.w  d0,-(sp)
        move.w  #0x3e,-(sp)             | Fclose(handle)
        trap    #1
        addq.l  #4,sp
        move.l  d0,20(a5)
1:      trap    #13                     | Setexc(0x101, the old handler)
        move.l  #~0x56414e54,(a5)       | "VANT"
        not.l   (a5)
        move.l  #~0x50524f54,4(a5)      | "PROT"
        not.l   4(a5)
        clr.w   -(sp)
        move.l  #256 + text_end - text_start + 24,-(sp)
        move.w  #0x31,-(sp)             | Ptermres(basepage to BSS end, 0)
        trap    #1

critic: lea     text_end(pc),a0         | critic(WORD error, WORD drive): the error back
        move.w  4(sp),d0
        ext.l   d0
        move.l  d0,12(a0)
        addq.l  #1,16(a0)
        rts

new_name:       .asciz  "\\NEW.TXT"
        .even
text_end:
        .long   0                       | no relocations
