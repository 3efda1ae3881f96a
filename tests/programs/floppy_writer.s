| FLOPPY.PRG: writes B:\OUTn.BIN and B:\DONEn.TXT at once (disk_writer.inc).
        .equ    DRIVE, 'B'
        .equ    WAIT, 0
        .include "disk_writer.inc"
