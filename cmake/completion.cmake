# Writes a bash completion for a program from its --help, so that the completion
# knows exactly the options the program has:
#   cmake -DPROGRAM=<path> -DNAME=<command> -DOUTPUT=<file> -P completion.cmake
# An option whose value Qt's help calls FILE or DIR completes files or directories;
# NAME (a serial port) completes paths too; other values complete nothing.
cmake_minimum_required(VERSION 3.16)
execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE status TIMEOUT 60)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} --help failed (${status})")
endif()

# One list element per line; the help's own semicolons must not split it further.
string(REPLACE ";" "," help "${help}")
string(REPLACE "\n" ";" lines "${help}")
set(options "")
set(cases "")
foreach(line IN LISTS lines)
    if(NOT line MATCHES "^  (-[a-zA-Z], )?--([a-z0-9-]+)( <([^>]+)>)?")
        continue()
    endif()
    set(option "--${CMAKE_MATCH_2}")
    string(TOUPPER "${CMAKE_MATCH_4}" value)
    string(APPEND options " ${option}")
    if(value STREQUAL "FILE" OR value STREQUAL "NAME")
        string(APPEND cases "        ${option}) COMPREPLY=($(compgen -f -- \"$cur\")); return ;;\n")
    elseif(value STREQUAL "DIR")
        string(APPEND cases "        ${option}) COMPREPLY=($(compgen -d -- \"$cur\")); return ;;\n")
    elseif(NOT value STREQUAL "")
        string(APPEND cases "        ${option}) COMPREPLY=(); return ;;\n")
    endif()
endforeach()
string(STRIP "${options}" options)
string(MAKE_C_IDENTIFIER "${NAME}" function)

file(WRITE ${OUTPUT} "# bash completion for ${NAME}, made from its --help when it was built
_velmora_${function}()
{
    local cur=\${COMP_WORDS[COMP_CWORD]}
    local prev=\${COMP_WORDS[COMP_CWORD-1]}
    case $prev in
${cases}    esac
    COMPREPLY=($(compgen -W \"${options}\" -- \"$cur\"))
}
complete -o filenames -F _velmora_${function} ${NAME}
")
