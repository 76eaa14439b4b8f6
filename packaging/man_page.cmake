# Writes the man page of tarvik-cli in language LANG (en or ru) with help2man: the program's
# --help, then a section with the --help of every command the program lists. The program speaks
# LANG through TARVIK_LANG. help2man runs in a locale of that language, where it reads the help's
# "Usage:" and "Options:" (in Russian "Использование:" and "Параметры:") as the synopsis and the
# options and names the page's sections; without the Russian locale the Russian page is still
# written, in a UTF-8 locale (any other turns the Russian texts into question marks), with
# English section names.
set(ENV{TARVIK_LANG} ${LANG})
execute_process(COMMAND ${CLI} --help OUTPUT_VARIABLE help RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${CLI} --help failed")
endif()
# The commands are listed under the help's last heading.
string(REGEX MATCH ".*\n([^ \n][^\n]*):\n" head "${help}")
set(heading "${CMAKE_MATCH_1}")
string(LENGTH "${head}" cut)
string(SUBSTRING "${help}" ${cut} -1 listed)
string(REGEX MATCHALL "(^|\n)  [a-z]+ " names "${listed}")
if(heading STREQUAL "" OR names STREQUAL "")
  message(FATAL_ERROR "${CLI} --help lists no commands")
endif()
# The name line: the program's one-line description, from the first line of its help.
string(REGEX MATCH "^[^\n]*" summary "${help}")
string(REGEX REPLACE "^[^:]*: *" "" summary "${summary}")
set(commands "[${heading}]\n")
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
  string(APPEND commands ".SS ${name}\n.nf\n${text}.fi\n")
endforeach()
execute_process(COMMAND locale -a OUTPUT_VARIABLE locales ERROR_QUIET)
# The name line replaces help2man's own under the heading it gives it in its locale (its
# --name option would not be read as UTF-8).
set(locale C.UTF-8)
set(name_heading "NAME")
if(LANG STREQUAL "ru")
  if(locales MATCHES "(^|\n)ru_RU\\.(utf8|UTF-8)\n")
    set(locale ru_RU.UTF-8)
    set(name_heading "ИМЯ")
  else()
    message(WARNING "Locale ru_RU.UTF-8 is not installed: the Russian man page's headings stay in English")
  endif()
endif()
file(WRITE ${OUT}.include "[${name_heading}]\ntarvik-cli \\- ${summary}\n${commands}")
execute_process(
  COMMAND ${HELP2MAN} --locale=${locale} --no-info --no-discard-stderr --include=${OUT}.include
          --output=${OUT} ${CLI}
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "help2man failed on ${CLI}")
endif()
