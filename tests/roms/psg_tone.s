| Plays a steady tone on the sound chip: channel A alone (no noise, no
| envelope) at full volume with a period of 284 (2 MHz / (16 x 284), about
| 440 Hz), then idles with the processor stopped.
        .include "rom_header.inc"

        .equ    PSG_SELECT, 0xff8800
        .equ    PSG_WRITE, 0xff8802

main:
        move.w  #0x2700,sr
        lea     PSG_SELECT.l,a0
        lea     regs(pc),a1
        moveq   #4-1,d0
load:   move.b  (a1)+,(a0)              | register number
        move.b  (a1)+,2(a0)             | its value
        dbra    d0,load
idle:   stop    #0x2700
        bra.s   idle

regs:   .byte   0, 0x1c                 | tone A period, fine
        .byte   1, 0x01                 | tone A period, coarse
        .byte   7, 0x3e                 | mixer: tone A only
        .byte   8, 0x0f                 | channel A volume
