# Writes the help2man include file of a program's manual page: a COMMANDS section with the --help of each
# of its commands, kept as printed (no filling), so that the page holds what `PROGRAM COMMAND --help` says;
# and a SEE ALSO section naming the other programs of the package.
#
#     cmake -DPROGRAM=PATH -DCOMMANDS="search;update" -DSEE_ALSO="a;b" -DOUTPUT=FILE -P ManInclude.cmake
get_filename_component(name ${PROGRAM} NAME)
set(text "")
if(COMMANDS)
    set(text "[COMMANDS]\n")
endif()
foreach(command IN LISTS COMMANDS)
    execute_process(COMMAND ${PROGRAM} ${command} --help OUTPUT_VARIABLE help RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${name} ${command} --help ended with ${result}")
    endif()
    # roff: a backslash starts an escape, and a line that begins with a full stop or an apostrophe is a
    # request.
    string(REPLACE "\\" "\\e" help "${help}")
    string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
    string(APPEND text ".SS \"${name} ${command}\"\n.nf\n${help}.fi\n")
endforeach()
list(TRANSFORM SEE_ALSO APPEND "(1)")
list(JOIN SEE_ALSO ", " see_also)
string(REPLACE "-" "\\-" see_also "${see_also}")
string(APPEND text "[SEE ALSO]\n${see_also}\n")
file(WRITE ${OUTPUT} "${text}")
