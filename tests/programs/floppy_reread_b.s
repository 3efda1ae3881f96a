| REREAD.PRG: writes B:\OUT1.BIN and B:\DONE1.TXT, then copies what
| B:\NEW.TXT begins with to B:\SEEN.TXT (disk_writer.inc): what the ST
| reads in drive B once another disk went in there meanwhile.
        .equ    DRIVE, 'B'
        .equ    OTHER, 'B'
        .equ    WAIT, 0
        .include "disk_writer.inc"
