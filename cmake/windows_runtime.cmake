# Install-time step of the Windows program folder, cross-built on Linux:
# copies every library that the program and its plugins import, found in the
# Qt and MinGW folders, into the folder. Windows' own libraries are not found
# there and stay out. DLL names are matched without regard to case, as
# Windows does (CMake's file(GET_RUNTIME_DEPENDENCIES) matches them exactly
# and so misses Qt6Core.dll on a case-sensitive file system).
#   TAVELKO_FILES      the program and its plugins
#   TAVELKO_DLL_DIRS   where to look for the libraries, first match wins
#   TAVELKO_OBJDUMP    the cross objdump
#   TAVELKO_DEST       the program folder

cmake_policy(VERSION 3.21)

foreach(dir IN LISTS TAVELKO_DLL_DIRS)
  file(GLOB dlls "${dir}/*.dll")
  foreach(dll IN LISTS dlls)
    get_filename_component(name "${dll}" NAME)
    string(TOLOWER "${name}" key)
    if(NOT DEFINED "dll_${key}")
      set("dll_${key}" "${dll}")
    endif()
  endforeach()
endforeach()

set(queue ${TAVELKO_FILES})
set(copied "")
while(queue)
  list(POP_FRONT queue file)
  execute_process(COMMAND "${TAVELKO_OBJDUMP}" -p "${file}" OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "objdump cannot read ${file}")
  endif()
  string(REGEX MATCHALL "DLL Name: [^\r\n]+" imports "${dump}")
  foreach(import IN LISTS imports)
    string(REGEX REPLACE "DLL Name: " "" name "${import}")
    string(STRIP "${name}" name)
    string(TOLOWER "${name}" key)
    if(DEFINED "dll_${key}" AND NOT key IN_LIST copied)
      list(APPEND copied "${key}")
      file(INSTALL "${dll_${key}}" DESTINATION "${TAVELKO_DEST}")
      list(APPEND queue "${dll_${key}}")
    endif()
  endforeach()
endwhile()
