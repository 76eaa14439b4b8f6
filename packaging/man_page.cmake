# Writes the man page of tarvik-cli with help2man (in a UTF-8 locale, or the Russian texts
# turn into question marks): the program's --help, then a COMMANDS section with the --help of
# every command the program lists.
execute_process(COMMAND ${CLI} --help OUTPUT_VARIABLE help RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${CLI} --help failed")
endif()
string(REGEX REPLACE ".*\nSubcommands:\n" "" listed "${help}")
string(REGEX MATCHALL "(^|\n)  [a-z]+ " names "${listed}")
# The name line: the program's one-line description, from the first line of its help.
string(REGEX MATCH "^[^\n]*" summary "${help}")
string(REGEX REPLACE "^[^:]*: *" "" summary "${summary}")
set(include "[NAME]\ntarvik-cli \\- ${summary}\n[COMMANDS]\n")
foreach(name IN LISTS names)
  string(STRIP "${name}" name)
  execute_process(COMMAND ${CLI} ${name} --help OUTPUT_VARIABLE text RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${CLI} ${name} --help failed")
  endif()
  # A backslash is roff's escape; a line starting with a dot or a quote would be a request.
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "\n." "\n\\&." text "${text}")
  string(REPLACE "\n'" "\n\\&'" text "${text}")
  string(APPEND include ".SS ${name}\n.nf\n${text}.fi\n")
endforeach()
file(WRITE ${OUT}.include "${include}")
execute_process(
  COMMAND ${HELP2MAN} --locale=C.UTF-8 --no-info --no-discard-stderr --include=${OUT}.include
          --output=${OUT} ${CLI}
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "help2man failed on ${CLI}")
endif()
