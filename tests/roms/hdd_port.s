| Drives the hard-disk port twice: first directly, with the argument frames
| the driver's callers build, then through the driver in the cartridge,
| initialised the way the operating system does it and called through the
| vectors it hooked. Results are left in low RAM for the test:
|   0x900  D0 of a direct Getbpb for C     0x904  D0 of a direct Rwabs read
|   0x908  D0 of a direct Rwabs, drive 5   0x90c  D0 of Rwabs with rwflag 2
|   0x910  D0 of Getbpb through the driver 0x914  BPB copied (18 bytes)
|   0x930  D0 of the root directory read   0x934  D0 of the data sector read
|   0x938  D0 of the data sector write     0x93c  D0 of Mediach for C
|   0x940  D0 of Mediach for A (the old vector's answer)
|   0x944  D0 of Rwabs for A (the old vector's answer)
|   0x948  the file's first cluster        0x94c  its first sector
|   0x950  0x600d when the ROM got to its end
|   0x10000 sector 0 read directly         0x11000 root directory sector
|   0x12340 the Line-A variables, whose workstation lies at 0x14000
|   0x12000 the file's first data sector, as read (then rewritten)
        .equ    ROM_EMUTOS, 1           | TOS 1.04 itself gets no hard disk
        .include "rom_header.inc"

        .equ    PORT, 0xfff700
        .equ    CART, 0xfa0000

main:
        move.w  #0x2700,sr
        lea     0x8000,sp
        move.l  #linea,0x28.w           | Line-A: D0 := the variables' base
        move.l  #0x14000,0x12340+16     | and their workstation pointer
        move.l  #old_bpb,0x472.w        | the floppy side of the vectors
        move.l  #old_rw,0x476.w
        move.l  #old_mediach,0x47e.w
        clr.l   0x4c2.w
        clr.w   0x446.w

| ---- the port directly ----
        move.w  #2,-(sp)                | Getbpb(C)
        subq.l  #4,sp                   | where the return address would be
        move.b  #0x46,PORT
        addq.l  #6,sp
        move.l  d0,0x900.w

        moveq   #0,d1                   | rwflag 0: read sector 0 of C
        moveq   #2,d2
        move.w  #1,d3
        lea     0x10000,a0
        moveq   #0,d4
        bsr     port_rwabs
        move.l  d0,0x904.w

        moveq   #0,d1                   | drive 5: nobody's
        moveq   #5,d2
        bsr     port_rwabs
        move.l  d0,0x908.w

        moveq   #2,d1                   | rwflag 2: a read (bit 0 clear)
        moveq   #2,d2
        bsr     port_rwabs
        move.l  d0,0x90c.w

| ---- the driver ----
        cmp.l   #0xabcdef42,CART
        bne     finish
        move.l  CART+8,d0               | initialisation entry, flags in the top byte
        and.l   #0xffffff,d0
        move.l  d0,a0
        jsr     (a0)

        move.w  #2,-(sp)                | Getbpb(C)
        move.l  0x472.w,a0
        jsr     (a0)
        addq.l  #2,sp
        move.l  d0,0x910.w
        move.l  d0,a0
        lea     0x914.w,a1
        moveq   #8,d7
1:      move.w  (a0)+,(a1)+
        dbra    d7,1b

        | the root directory starts at fatrec + fsiz
        move.w  0x91e.w,d4
        add.w   0x91c.w,d4
        moveq   #0,d1
        moveq   #2,d2
        moveq   #1,d3
        lea     0x11000,a0
        bsr     drv_rwabs
        move.l  d0,0x930.w

        | the first entry that is a file: its start cluster
        lea     0x11000,a0
        moveq   #15,d7
2:      tst.b   (a0)
        beq     finish
        cmp.b   #0xe5,(a0)
        beq.s   3f
        btst    #3,11(a0)               | volume label
        beq.s   4f
3:      lea     32(a0),a0
        dbra    d7,2b
        bra     finish
4:      moveq   #0,d5
        move.b  27(a0),d5               | little-endian word
        lsl.w   #8,d5
        move.b  26(a0),d5
        move.l  d5,0x948.w
        | its first sector: datrec + (cluster - 2) x clsiz
        subq.w  #2,d5
        mulu.w  0x916.w,d5
        add.w   0x920.w,d5
        move.l  d5,0x94c.w

        moveq   #0,d1                   | read it
        moveq   #2,d2
        moveq   #1,d3
        lea     0x12000,a0
        move.w  d5,d4
        bsr     drv_rwabs
        move.l  d0,0x934.w

        lea     0x12000,a0              | capitals for its small letters
        move.w  #511,d7
5:      move.b  (a0),d0
        cmp.b   #'a',d0
        blo.s   6f
        cmp.b   #'z',d0
        bhi.s   6f
        sub.b   #0x20,d0
        move.b  d0,(a0)
6:      addq.l  #1,a0
        dbra    d7,5b

        moveq   #1,d1                   | and write it back
        moveq   #2,d2
        moveq   #1,d3
        lea     0x12000,a0
        move.w  d5,d4
        bsr     drv_rwabs
        move.l  d0,0x938.w

        move.w  #2,-(sp)                | Mediach(C)
        move.l  0x47e.w,a0
        jsr     (a0)
        move.l  d0,0x93c.w
        move.w  #0,(sp)                 | Mediach(A)
        move.l  0x47e.w,a0
        jsr     (a0)
        addq.l  #2,sp
        move.l  d0,0x940.w

        moveq   #0,d1                   | Rwabs(A)
        moveq   #0,d2
        moveq   #1,d3
        lea     0x13000,a0
        moveq   #0,d4
        bsr     drv_rwabs
        move.l  d0,0x944.w

finish:
        move.l  #0x600d,0x950.w
        bra.s   .

| Rwabs arguments: d1 rwflag, a0 buffer, d3 count, d4 sector, d2 drive.
| port_rwabs writes the command itself; drv_rwabs calls the hooked vector.
push_frame:
        move.l  (sp)+,a1                | this routine's own return
        move.w  d2,-(sp)
        move.w  d4,-(sp)
        move.w  d3,-(sp)
        move.l  a0,-(sp)
        move.w  d1,-(sp)
        jmp     (a1)
port_rwabs:
        bsr.s   push_frame
        subq.l  #4,sp
        move.b  #0x45,PORT
        lea     16(sp),sp
        rts
drv_rwabs:
        bsr.s   push_frame
        move.l  0x476.w,a1
        jsr     (a1)
        lea     12(sp),sp
        rts

linea:  move.l  #0x12340,d0
        addq.l  #2,2(sp)
        rte
old_bpb:
        moveq   #-7,d0
        rts
old_rw: moveq   #-8,d0
        rts
old_mediach:
        moveq   #-9,d0
        rts
