| Interrupt counts, idling in STOP, automatic end of interrupt.
        .equ    USE_STOP, 1
        .equ    SOFT_EOI, 0
        .include "interrupt_counts.inc"
