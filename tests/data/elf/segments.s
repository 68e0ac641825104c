@ A small Cortex-M program with three loadable segments: code at 0x0000, a second code block at 0x4000,
@ and initialised data (stored in flash, copied to RAM) followed by zero-filled data.
    .syntax unified
    .thumb

    .section .vectors, "ax"
    .word   0x20002000
    .word   reset + 1

    .section .text, "ax"
    .thumb_func
reset:
    ldr     r0, =table
    ldr     r1, [r0]
    ldr     r2, =counter
    str     r1, [r2]
    b       reset
    .ltorg

    .section .page4000, "ax"
table:
    .ascii  "second PT_LOAD at 0x4000"
    .word   0xA5A55A5A

    .section .data, "aw"
initialised:
    .word   0x11223344, 0x55667788
    .ascii  "initialised data"

    .section .bss, "aw", %nobits
counter:
    .space  96

    @ Not loaded: bytes that follow the loadable ones in the file and must never reach the image.
    .section .unrelated, ""
    .ascii  "UNRELATED-FILE-BYTES-UNRELATED-FILE-BYTES-UNRELATED-FILE-BYTES-UNRELATED-FILE-BYTES"
