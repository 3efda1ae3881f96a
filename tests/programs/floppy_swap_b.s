| SWAPB.PRG: writes B:\OUT1.BIN and B:\DONE1.TXT, then copies what
| A:\NEW.TXT begins with to B:\SEEN.TXT (disk_writer.inc).
        .equ    DRIVE, 'B'
        .equ    OTHER, 'A'
        .equ    WAIT, 0
        .include "disk_writer.inc"
