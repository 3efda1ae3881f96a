| Interrupt counts, idling in a branch loop, software end of interrupt.
        .equ    USE_STOP, 0
        .equ    SOFT_EOI, 1
        .include "interrupt_counts.inc"
