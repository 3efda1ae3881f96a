| A keyboard and MIDI session through the ACIAs and the MFP: resets the
| ACIAs, sends three MIDI bytes, resets the keyboard processor, sets and asks
| for its clock and interrogates the joysticks. The ACIA interrupt handler
| stores every received byte.
|
| 0x900 long: bytes received, stored from 0x1000 on. 0x904 long: ACIA
| interrupts taken. 0x908, 0x909: the two MIDI status reads after its reset.
| 0x818 holds 0x600d once every command is sent.
        .include "rom_header.inc"

        .equ    IERB, 0xfffa09
        .equ    IMRB, 0xfffa15
        .equ    VR, 0xfffa17
        .equ    KBD_CTRL, 0xfffc00
        .equ    KBD_DATA, 0xfffc02
        .equ    MIDI_CTRL, 0xfffc04
        .equ    MIDI_DATA, 0xfffc06

main:
        move.w  #0x2700,sr
        clr.l   0x900.w
        clr.l   0x904.w
        move.l  #acia,0x118.w           | MFP channel 6 at vectors 0x40-0x4f
        move.b  #0x40,VR.l              | automatic end of interrupt
        move.b  #0x03,KBD_CTRL.l        | master reset
        move.b  #0x96,KBD_CTRL.l        | clock / 64, 8 bits, 1 stop, receive interrupt
        move.b  #0x40,IERB.l
        move.b  #0x40,IMRB.l

        move.b  #0x03,MIDI_CTRL.l
        move.b  MIDI_CTRL.l,0x908.w
        move.b  MIDI_CTRL.l,0x909.w
        move.b  #0x90,MIDI_DATA.l       | note on, middle C, velocity 100
        move.b  #0x3c,MIDI_DATA.l
        move.b  #0x64,MIDI_DATA.l

        move.b  #0x80,KBD_DATA.l        | keyboard processor reset
        move.b  #0x01,KBD_DATA.l
        move.w  #0x2500,sr              | the MFP interrupts on level 6
wait:   tst.l   0x900.w
        beq.s   wait

        lea     commands(pc),a0
        moveq   #commands_end-commands-1,d0
send:   move.b  (a0)+,KBD_DATA.l
        dbra    d0,send
        move.l  #0x600d,0x818.w
idle:   bra.s   idle

acia:   movem.l d0/a0,-(sp)
        addq.l  #1,0x904.w
        move.b  KBD_CTRL.l,d0
        bpl.s   done                    | no receive interrupt request
        lea     0x1000.w,a0
        add.l   0x900.w,a0
        move.b  KBD_DATA.l,(a0)
        addq.l  #1,0x900.w
done:   movem.l (sp)+,d0/a0
        rte

commands:
        .byte   0x1b,0x99,0x12,0x31,0x23,0x59,0x50      | set the clock
        .byte   0x1c                                    | report it
        .byte   0x16                                    | joystick interrogation
commands_end:
        .even
