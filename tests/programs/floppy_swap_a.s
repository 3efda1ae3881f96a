| SWAPA.PRG: writes A:\OUT1.BIN and A:\DONE1.TXT, then copies what
| B:\NEW.TXT begins with to A:\SEEN.TXT (disk_writer.inc).
        .equ    DRIVE, 'A'
        .equ    OTHER, 'B'
        .equ    WAIT, 0
        .include "disk_writer.inc"
