# Embeds a file in a target as the symbols NAME and NAME_end (an .incbin in a generated assembly file),
# so fonts and patterns ship inside the program without a code generator. A file a build step makes
# is named with GENERATED after it.
function(ql_embed target name file)
  if(NOT EXISTS ${file} AND NOT "${ARGN}" STREQUAL "GENERATED")
    message(FATAL_ERROR "${file} is missing: run 'make deps' (scripts/install-deps.sh) first")
  endif()
  set(asm ${CMAKE_BINARY_DIR}/generated/embed_${name}.S)
  file(WRITE ${asm}.in
    ".section .rodata\n.balign 16\n.global ${name}\n${name}:\n.incbin \"${file}\"\n"
    ".global ${name}_end\n${name}_end:\n.byte 0\n.section .note.GNU-stack,\"\",@progbits\n")
  configure_file(${asm}.in ${asm} COPYONLY)
  set_source_files_properties(${asm} PROPERTIES OBJECT_DEPENDS ${file})
  target_sources(${target} PRIVATE ${asm})
endfunction()
