# Run by CPack on the staged files before the .deb is made: the program loses
# the sections Debian's own packages strip (the compilers' .comment and the
# bare .note), as dh_strip does.
file(GLOB_RECURSE tavelko_programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/bin/*")
foreach(program IN LISTS tavelko_programs)
  execute_process(COMMAND "${CPACK_TAVELKO_OBJCOPY}" --remove-section=.comment --remove-section=.note
                          "${program}"
                  RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "objcopy could not strip ${program}")
  endif()
endforeach()
