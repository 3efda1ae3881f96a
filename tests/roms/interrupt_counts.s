| Interrupt counts, idling in a branch loop, automatic end of interrupt.
        .equ    USE_STOP, 0
        .equ    SOFT_EOI, 0
        .include "interrupt_counts.inc"
