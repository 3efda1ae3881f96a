| Low resolution: 320 x 200, 16 colours.
        .equ    RES, 0
        .equ    PLANES, 4
        .equ    GROUPS, 20
        .equ    LINES, 200
        .equ    MASK, 15
        .include "screen_pattern.inc"
