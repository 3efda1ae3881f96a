| Sends the MIDI byte streams a test puts into RAM through the MIDI ACIA:
| waits until the long at 0x804 is non-zero, sends as many bytes from 0x1000
| on as the long at 0x800 says (each once the ACIA's transmit register is
| empty), clears 0x804, counts the stream in the long at 0x818 and waits for
| the next one.
        .include "rom_header.inc"

        .equ    MIDI_CTRL, 0xfffc04
        .equ    MIDI_DATA, 0xfffc06

main:
        move.w  #0x2700,sr
        move.b  #0x03,MIDI_CTRL.l       | master reset
wait:   tst.l   0x804.w
        beq.s   wait
        lea     0x1000.w,a0
        move.l  0x800.w,d0
        bra.s   next
empty:  btst    #1,MIDI_CTRL.l          | transmit data register empty?
        beq.s   empty
        move.b  (a0)+,MIDI_DATA.l
next:   subq.l  #1,d0
        bcc.s   empty
        clr.l   0x804.w
        addq.l  #1,0x818.w
        bra.s   wait
