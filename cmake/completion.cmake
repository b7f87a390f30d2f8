# Writes a bash completion for a program from its --help, so that the completion
# knows exactly the options the program has:
#   cmake -DPROGRAM=<path> -DNAME=<command> -DOUTPUT=<file> -P completion.cmake
# An option whose value Qt's help calls FILE or DIR completes files or directories;
# NAME (a serial port) completes paths too; an option whose description lists its
# values ("one of a, b or c", "such as 9600, 19200 or 115200") completes those; other
# values complete nothing. A program whose help lists arguments completes files
# where no option is being typed. Files complete through bash-completion's
# _filedir where it is loaded (names with spaces, quotes, ~), otherwise through a
# fallback that keeps each name whole.
cmake_minimum_required(VERSION 3.16)
execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE status TIMEOUT 60)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} --help failed (${status})")
endif()

# One list element per line; the help's own semicolons must not split it further.
string(REPLACE ";" "," help "${help}")
string(REPLACE "\n" ";" lines "${help}")

# Each option with its whole description (Qt wraps long ones over several lines).
set(names "")
set(positional FALSE)
set(section "")
foreach(line IN LISTS lines)
    if(line MATCHES "^Arguments:")
        set(section arguments)
    elseif(line MATCHES "^Options:")
        set(section options)
    elseif(section STREQUAL "arguments" AND line MATCHES "^  [^ -]")
        set(positional TRUE)
    endif()
    if(line MATCHES "^  (-[a-zA-Z], )?--([a-z0-9-]+)( <([^>]+)>)?(.*)$")
        set(current "${CMAKE_MATCH_2}")
        list(APPEND names ${current})
        string(TOUPPER "${CMAKE_MATCH_4}" value_${current})
        set(text_${current} "${CMAKE_MATCH_5}")
    elseif(current AND line MATCHES "^     +(.*)$")
        string(APPEND text_${current} " ${CMAKE_MATCH_1}")
    else()
        set(current "")
    endif()
endforeach()

string(MAKE_C_IDENTIFIER "${NAME}" function)
set(word "[A-Za-z0-9.]+")
set(options "")
set(cases "")
foreach(name IN LISTS names)
    set(option "--${name}")
    set(value "${value_${name}}")
    string(REGEX REPLACE " +" " " text "${text_${name}}")
    string(APPEND options " ${option}")
    if(value STREQUAL "FILE" OR value STREQUAL "NAME")
        string(APPEND cases "        ${option}) _velmora_${function}_files; return ;;\n")
    elseif(value STREQUAL "DIR")
        string(APPEND cases "        ${option}) _velmora_${function}_files -d; return ;;\n")
    elseif(NOT value STREQUAL "" AND text MATCHES "(one of|such as) (${word}(, ${word})*( or ${word})?)")
        string(REPLACE ", " " " values "${CMAKE_MATCH_2}")
        string(REPLACE " or " " " values "${values}")
        string(APPEND cases "        ${option}) COMPREPLY=($(compgen -W \"${values}\" -- \"$cur\")); return ;;\n")
    elseif(NOT value STREQUAL "")
        string(APPEND cases "        ${option}) COMPREPLY=(); return ;;\n")
    endif()
endforeach()
string(STRIP "${options}" options)
if(positional)
    set(otherwise "    if [[ $cur != -* ]]; then\n        _velmora_${function}_files\n        return\n    fi\n")
else()
    set(otherwise "")
endif()

file(WRITE ${OUTPUT} "# bash completion for ${NAME}, made from its --help when it was built

# Files (or with -d directories) for the word being completed, each name whole.
_velmora_${function}_files()
{
    if declare -F _filedir > /dev/null; then
        _filedir \"$@\"
        return
    fi
    local word=$cur IFS=$'\\n'
    # The word as typed: an opening quote, and backslashes before spaces and the like.
    word=\${word#[\\\"\\']}
    word=$(printf '%s' \"$word\" | sed 's/\\\\\\(.\\)/\\1/g')
    if [ \"\${1:-}\" = -d ]; then
        COMPREPLY=($(compgen -d -- \"$word\"))
    else
        COMPREPLY=($(compgen -f -- \"$word\"))
    fi
}

_velmora_${function}()
{
    local cur=\${COMP_WORDS[COMP_CWORD]}
    local prev=\${COMP_WORDS[COMP_CWORD-1]}
    case $prev in
${cases}    esac
${otherwise}    COMPREPLY=($(compgen -W \"${options}\" -- \"$cur\"))
}
complete -o filenames -F _velmora_${function} ${NAME}
")
