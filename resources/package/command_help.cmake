# Writes a help2man include file with a COMMANDS section: the --help of every command that
# PROGRAM's own --help lists, shown as it prints it, and a SEE ALSO section naming the window.
execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --help failed: ${status}")
endif()
string(REGEX REPLACE "^.*\nSubcommands:\n" "" listing "${help}")
string(REGEX MATCHALL "(^|\n)  [a-z][a-z0-9-]*" names "${listing}")

set(text "[COMMANDS]\n")
foreach(name IN LISTS names)
  string(STRIP "${name}" name)
  execute_process(COMMAND ${PROGRAM} ${name} --help OUTPUT_VARIABLE command_help RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} ${name} --help failed: ${status}")
  endif()
  # Shown verbatim: backslashes escaped, and \& first on each line so no line reads as a request.
  string(REPLACE "\\" "\\e" command_help "${command_help}")
  string(STRIP "${command_help}" command_help)
  string(REPLACE "\n" "\n\\&" command_help "${command_help}")
  string(APPEND text ".SS ${name}\n.nf\n\\&${command_help}\n.fi\n")
endforeach()
string(APPEND text "[SEE ALSO]\n.BR tunekiln (1)\n")
file(WRITE ${OUTPUT} "${text}")
