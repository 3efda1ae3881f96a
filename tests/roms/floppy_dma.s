| Reads and writes a floppy image in drive A through the DMA chip and the
| floppy controller, waiting for each command's interrupt on MFP input 5.
|
| Results: 0x800 long, disk interrupts taken; 0x804-0x807 the status bytes
| after the seek, the read, the write and the read-back; 0x808-0x80a the DMA
| address after the read; 0x818 is 0x600d when done.
| Data: two sectors read from track 1 side 1 at 0x10000; the sector written
| (track 1 side 1 sector 3) from 0x20000; read back at 0x30000. At the end it
| prints "disk ok" and a newline on the printer port.
        .include "rom_header.inc"

        .equ    GPIP, 0xfffa01
        .equ    IERB, 0xfffa09
        .equ    IMRB, 0xfffa15
        .equ    VR, 0xfffa17
        .equ    DMA_DATA, 0xff8604
        .equ    DMA_MODE, 0xff8606
        .equ    DMA_HI, 0xff8609
        .equ    DMA_MID, 0xff860b
        .equ    DMA_LO, 0xff860d
        .equ    PSG_SELECT, 0xff8800
        .equ    PSG_WRITE, 0xff8802

| Sets the DMA address to \addr.
        .macro  dma_address addr
        move.b  #((\addr) >> 16) & 0xff,DMA_HI
        move.b  #((\addr) >> 8) & 0xff,DMA_MID
        move.b  #(\addr) & 0xff,DMA_LO
        .endm

| Writes \value to the controller register that DMA mode \mode selects.
        .macro  fdc_write mode, value
        move.w  #\mode,DMA_MODE
        move.w  #\value,DMA_DATA
        .endm

| Gives command \cmd and waits for its interrupt; the status ends in d0.
        .macro  fdc_command cmd
        move.l  0x800.w,d7
        fdc_write 0x80,\cmd
        bsr     wait_irq
        .endm

main:
        move.w  #0x2700,sr
        clr.l   0x800.w
        clr.l   0x818.w
        move.l  #disk_irq,0x11c.w       | MFP vector 0x40 + 7 (GPIP 5)
        move.b  #0x40,VR                | automatic end of interrupt
        move.b  #0x80,IERB
        move.b  #0x80,IMRB
        move.w  #0x2500,sr              | the MFP's level 6 may interrupt

        move.b  #14,PSG_SELECT          | port A: drive A, side 0
        move.b  #0x05,PSG_WRITE
        fdc_write 0x86,1                | data register: track 1
        fdc_command 0x14                | seek with verify
        move.b  d0,0x804.w

        move.b  #14,PSG_SELECT          | side 1
        move.b  #0x04,PSG_WRITE
        dma_address 0x10000
        fdc_write 0x90,2                | two sectors
        fdc_write 0x84,1                | from sector 1
        fdc_command 0x90                | read multiple
        move.b  d0,0x805.w
        move.b  DMA_HI,0x808.w
        move.b  DMA_MID,0x809.w
        move.b  DMA_LO,0x80a.w

        lea     0x20000,a0              | a sector of i ^ 0x5a
        move.w  #511,d1
        moveq   #0,d2
fill:   move.b  d2,d3
        eori.b  #0x5a,d3
        move.b  d3,(a0)+
        addq.b  #1,d2
        dbra    d1,fill
        dma_address 0x20000
        fdc_write 0x190,1               | one sector (write direction)
        fdc_write 0x184,3               | sector 3
        fdc_command 0xa0                | write sector
        move.b  d0,0x806.w

        dma_address 0x30000
        fdc_write 0x90,1
        fdc_write 0x84,3
        fdc_command 0x80                | read sector
        move.b  d0,0x807.w

        move.b  #15,PSG_SELECT          | and a line to the printer
        lea     message(pc),a0
print:  move.b  (a0)+,d0
        beq.s   printed
        move.b  d0,PSG_WRITE
        bra.s   print
printed:
        move.l  #0x600d,0x818.w
idle:   bra.s   idle

| Waits until the disk interrupt has counted past d7, then reads the status.
wait_irq:
        cmp.l   0x800.w,d7
        beq.s   wait_irq
        move.w  #0x80,DMA_MODE
        move.w  DMA_DATA,d0
        rts

disk_irq:
        addq.l  #1,0x800.w
        rte

message:
        .asciz  "disk ok\n"
