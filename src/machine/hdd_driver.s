| The hard-disk driver that runs in the ST from the cartridge window.
|
| The file is a program file: a 28-byte program header, then the text,
| linked to run where the cartridge window holds it (0xfa001c). The memory
| map recognises the header, and copies the first 40 bytes of the text - the
| cartridge header below - to 0xfa0000, where the operating system looks for
| cartridge programs. Its initialisation entry runs before the boot disk is
| read: it hooks the BPB, sector read/write and media-change vectors for
| drives C and D, marks the drives present and, when drive A is empty, makes C
| the boot drive. Every call for C or D is forwarded to the emulator by a
| command byte at 0xfff700; the arguments stay where the caller put them on
| the stack and the answer comes back in D0. At the end it reports the base
| of the Line-A variables for the big-screen mode.
|
| The window at 0xfa0300-0xfa0311 is where the emulator leaves a BPB; the
| text keeps clear of it, and the driver's own variables sit behind it.

        .equ    PORT_CMD, 0xfff700
        .equ    PORT_FLOPPY, 0xfff702
        .equ    PORT_HAS_C, 0xfff704
        .equ    PORT_HAS_D, 0xfff706
        .equ    CMD_RWABS, 0x45
        .equ    CMD_GETBPB, 0x46
        .equ    hdv_bpb, 0x472
        .equ    hdv_rw, 0x476
        .equ    hdv_mediach, 0x47e
        .equ    drvbits, 0x4c2
        .equ    bootdev, 0x446
        .equ    DRIVE_C, 2
        .equ    DRIVE_D, 3

        .text
| ---- program header ----
        .word   0x601a
        .long   text_end - text_start   | text
        .long   0                       | data
        .long   0                       | bss
        .long   0                       | symbols
        .long   0                       | reserved
        .long   0                       | flags
        .word   1                       | no relocation

| ---- cartridge header (also copied to 0xfa0000) ----
text_start:
        .long   0xabcdef42              | cartridge magic
        .long   0                       | no further program
        .long   init + 0x08000000       | initialise before the boot disk
        .long   0                       | nothing to run from the desktop
        .word   0                       | time
        .word   0                       | date
        .long   text_end - init         | size
        .ascii  "HDDRIVER.PRG"
        .byte   0
        .org    text_start + 40

init:
        movem.l d0-d2/a0-a2,-(sp)
        tst.w   PORT_HAS_C              | drive C present?
        beq.s   init_done
        move.l  hdv_bpb.w,old_bpb
        move.l  hdv_rw.w,old_rw
        move.l  hdv_mediach.w,old_mediach
        move.l  #bpb_hook,hdv_bpb.w
        move.l  #rw_hook,hdv_rw.w
        move.l  #mediach_hook,hdv_mediach.w
        ori.l   #1<<DRIVE_C,drvbits.w
        clr.b   has_d
        tst.w   PORT_HAS_D
        beq.s   1f
        st      has_d
        ori.l   #1<<DRIVE_D,drvbits.w
1:      tst.w   PORT_FLOPPY             | 0: drive A holds a disk
        beq.s   2f
        move.w  #DRIVE_C,bootdev.w
2:      .word   0xa000                  | Line-A init: D0 = the variables' base
        move.w  #1,PORT_HAS_D           | the port notes D0 as that base
        move.w  #2,PORT_HAS_D           | and the big-screen request
init_done:
        movem.l (sp)+,d0-d2/a0-a2
        rts

| Each hook tests the drive without touching the stack, so the emulator
| finds the caller's arguments at 4(sp) and on; other drives go on to the
| vector the hook replaced, with the stack as the caller left it.

| long Getbpb(int drive): the BPB address in D0.
bpb_hook:
        cmp.w   #DRIVE_C,4(sp)
        beq.s   1f
        cmp.w   #DRIVE_D,4(sp)
        bne.s   2f
        tst.b   has_d
        beq.s   2f
1:      move.b  #CMD_GETBPB,PORT_CMD
        rts
2:      move.l  old_bpb,-(sp)
        rts

| long Rwabs(int rwflag, void *buf, int count, int recno, int dev).
rw_hook:
        cmp.w   #DRIVE_C,14(sp)
        beq.s   1f
        cmp.w   #DRIVE_D,14(sp)
        bne.s   2f
        tst.b   has_d
        beq.s   2f
1:      move.b  #CMD_RWABS,PORT_CMD
        rts
2:      move.l  old_rw,-(sp)
        rts

| long Mediach(int drive): a hard disk never changes.
mediach_hook:
        cmp.w   #DRIVE_C,4(sp)
        beq.s   1f
        cmp.w   #DRIVE_D,4(sp)
        bne.s   2f
        tst.b   has_d
        beq.s   2f
1:      moveq   #0,d0
        rts
2:      move.l  old_mediach,-(sp)
        rts

| ---- the emulator's BPB, then the driver's variables ----
        .org    0x300
bpb_area:
        .space  18
old_bpb:        .long   0
old_rw:         .long   0
old_mediach:    .long   0
has_d:          .byte   0
        .even
text_end:
