| High resolution on a monochrome monitor: 640 x 400.
        .equ    RES, 2
        .equ    PLANES, 1
        .equ    GROUPS, 40
        .equ    LINES, 400
        .equ    MASK, 1
        .include "screen_pattern.inc"
