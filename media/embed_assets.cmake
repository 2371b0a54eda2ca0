# Writes an assembler file that embeds each asset as a ByteBlock
# (int32 dimension count 1, int32 length, the bytes) in read-only data.
# Called with -DOUT=<file.S> -DASSET_DIR=<dir> -DNAMES=<name.ext;...> -DPREFIX=<symbol prefix>
string(REPLACE "," ";" NAMES "${NAMES}")
set(text "// Generated at build time. Do not edit.\n\t.section .rodata\n")
foreach(entry IN LISTS NAMES)
  string(REGEX REPLACE "\\.[^.]*$" "" name "${entry}")
  file(SIZE "${ASSET_DIR}/${entry}" size)
  string(APPEND text "\t.balign 16\n\t.global ${PREFIX}${name}\n\t.type ${PREFIX}${name}, @object\n${PREFIX}${name}:\n\t.long 1\n\t.long ${size}\n\t.incbin \"${ASSET_DIR}/${entry}\"\n\t.size ${PREFIX}${name}, . - ${PREFIX}${name}\n")
endforeach()
string(APPEND text "\t.section .note.GNU-stack,\"\",@progbits\n")
file(WRITE "${OUT}.tmp" "${text}")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
