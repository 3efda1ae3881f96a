| Snippets for the tests of the 68040's own instructions (assembled for the
| 68040). Each ends with ILLEGAL, where the test stops. Snippet table at
| 0x1000 (in the order of the enum in the test), code from 0x1100.
        .org    0x1000
        .long   move16_out, move16_in, move16_line_out, move16_line_in
        .long   move16_both, move16_same, caches, mmu, mmu_other

        .org    0x1100
move16_out:
        move16  (a1)+,0x5000
        illegal
move16_in:
        move16  0x5000,(a1)+
        illegal
move16_line_out:
        move16  (a1),0x5000
        illegal
move16_line_in:
        move16  0x5000,(a1)
        illegal
move16_both:
        move16  (a0)+,(a1)+
        illegal
move16_same:
        move16  (a0)+,(a0)+
        illegal
caches:
        cinva   bc
        cpushl  dc,(a0)
        cinvp   ic,(a1)
        cpusha  dc
        illegal
mmu:
        pflush  (a0)
        ptestr  (a1)
        illegal
mmu_other:
        .word   0xf5c8                  | not PFLUSH or PTEST
        illegal
