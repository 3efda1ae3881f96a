| Medium resolution: 640 x 200, 4 colours.
        .equ    RES, 1
        .equ    PLANES, 2
        .equ    GROUPS, 40
        .equ    LINES, 200
        .equ    MASK, 3
        .include "screen_pattern.inc"
