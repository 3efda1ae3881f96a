| HDD.PRG: waits 200 vertical blanks (4 s), then writes C:\OUTn.BIN and
| C:\DONEn.TXT (disk_writer.inc).
        .equ    DRIVE, 'C'
        .equ    WAIT, 200
        .include "disk_writer.inc"
