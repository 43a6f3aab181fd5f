# Writes one program's man page with help2man, from its --help and
# --version. The NAME line is the program's one-line summary, the first
# line of its --help ("Anglepick: measure ..." gives "measure ..."), so the
# summary is written once, in the program.
#
#   cmake -DHELP2MAN=... -DPROGRAM=... -DOUTPUT=... -DINCLUDE=... -DSOURCE=... -P manpage.cmake
foreach(var HELP2MAN PROGRAM OUTPUT INCLUDE SOURCE)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "manpage.cmake needs -D${var}=...")
  endif()
endforeach()

execute_process(COMMAND "${PROGRAM}" --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --help failed (${status})")
endif()
string(REGEX MATCH "^[^\n]*" name "${help}")
string(REGEX REPLACE "^[A-Za-z]+: " "" name "${name}")
string(REGEX REPLACE "\\.$" "" name "${name}")
# A NAME line reads as a phrase: "superimpose a landmark data set ...".
string(SUBSTRING "${name}" 0 1 first)
string(SUBSTRING "${name}" 1 -1 rest)
string(TOLOWER "${first}" first)
set(name "${first}${rest}")

execute_process(
  COMMAND "${HELP2MAN}" --no-info "--name=${name}" "--source=${SOURCE}" "--include=${INCLUDE}"
          "--output=${OUTPUT}" "${PROGRAM}"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "help2man failed on ${PROGRAM} (${status})")
endif()
