/* Links segments.s: explicit program headers keep the three blocks in three PT_LOAD segments. */
MEMORY
{
  FLASH (rx) : ORIGIN = 0x00000000, LENGTH = 64K
  RAM (rwx)  : ORIGIN = 0x20000000, LENGTH = 8K
}

PHDRS
{
  code PT_LOAD;
  page4000 PT_LOAD;
  data PT_LOAD;
}

SECTIONS
{
  .vectors : { KEEP(*(.vectors)) } > FLASH :code
  .text : { *(.text*) } > FLASH :code
  .page4000 0x4000 : { *(.page4000) } > FLASH :page4000
  .data : { *(.data*) } > RAM AT > FLASH :data
  .bss : { *(.bss*) } > RAM :data
}
