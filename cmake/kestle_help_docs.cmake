# Writes the kestle man page and its bash completion from the tool's own help
# texts, so that neither can drift from the commands and options the tool
# accepts. Run in script mode at build time:
#
#   cmake -DKESTLE=path/to/kestle -DHELP2MAN=path/to/help2man
#         -DMAN_OUT=kestle.1 -DCOMPLETION_OUT=kestle.bash -P kestle_help_docs.cmake
#
# The command tree is read from the "Subcommands:" sections of `kestle
# --help` and `kestle CMD... --help`; each command's options from its
# "Options:" section. The man page is help2man's page of `kestle --help` with
# a COMMANDS section holding every command's help.
cmake_minimum_required(VERSION 3.25)

foreach(var KESTLE HELP2MAN MAN_OUT COMPLETION_OUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "kestle_help_docs: ${var} is not set")
  endif()
endforeach()

# The command that only explains others; its argument is a command name.
set(help_command help)

# help_of(OUT ARGS...): the output of `kestle ARGS... --help`.
function(help_of out)
  execute_process(COMMAND ${KESTLE} ${ARGN} --help OUTPUT_VARIABLE text
                  RESULT_VARIABLE status ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "kestle ${ARGN} --help failed (${status}): ${err}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# section_entries(OUT TEXT SECTION): the first words of the entries of
# SECTION ("Options", "Subcommands") in a help text. An entry starts with
# exactly two spaces; wrapped descriptions are indented further.
function(section_entries out text section)
  string(REPLACE ";" "," text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  set(inside FALSE)
  set(entries "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^[^ ].*:$")
      if(line STREQUAL "${section}:")
        set(inside TRUE)
      else()
        set(inside FALSE)
      endif()
    elseif(inside AND line MATCHES "^  ([^ ]+)")
      list(APPEND entries "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  set(${out} "${entries}" PARENT_SCOPE)
endfunction()

# The option spellings of an "Options:" entry list ("-o,--out" gives two).
function(option_words out entries)
  set(words "")
  foreach(entry IN LISTS entries)
    string(REPLACE "," ";" names "${entry}")
    foreach(name IN LISTS names)
      if(name MATCHES "^-")
        list(APPEND words "${name}")
      endif()
    endforeach()
  endforeach()
  set(${out} "${words}" PARENT_SCOPE)
endfunction()

# roff_literal(OUT TEXT): TEXT safe inside a no-fill block.
function(roff_literal out text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Walk the command tree breadth first. `queue` holds each command as its
# words joined by "/" ("" is the tool itself).
set(queue "<top>")
set(man_commands "")
set(completion_cases "")
while(queue)
  list(POP_FRONT queue node)
  if(node STREQUAL "<top>")
    set(words "")
  else()
    string(REPLACE "/" ";" words "${node}")
  endif()
  help_of(text ${words})
  section_entries(subcommands "${text}" "Subcommands")
  section_entries(option_entries "${text}" "Options")
  option_words(options "${option_entries}")
  string(REPLACE ";" " " spoken "${words}")

  if(words)
    roff_literal(literal "${text}")
    string(APPEND man_commands ".SS \"kestle ${spoken}\"\n.nf\n${literal}\n.fi\n")
  endif()
  foreach(sub IN LISTS subcommands)
    if(words)
      list(APPEND queue "${node}/${sub}")
    else()
      list(APPEND queue "${sub}")
    endif()
  endforeach()
  if(words STREQUAL help_command)
    # `kestle help COMMAND`: the argument is one of the top commands.
    set(subcommands "${top_commands}")
  endif()
  if(NOT words)
    set(top_commands "${subcommands}")
  endif()
  list(JOIN subcommands " " sub_text)
  list(JOIN options " " option_text)
  string(APPEND completion_cases "    \"${spoken}\") commands=\"${sub_text}\" options=\"${option_text}\" ;;\n")
endwhile()

# The man page.
get_filename_component(man_dir "${MAN_OUT}" DIRECTORY)
set(include_file "${man_dir}/kestle_commands.h2m")
file(WRITE "${include_file}" "[COMMANDS]\n${man_commands}\n[SEE ALSO]\nRun\n.B kestle help COMMAND\nfor a command's options.\n")
execute_process(
  COMMAND ${HELP2MAN} --no-info --no-discard-stderr
          --name "IIF conversion, order archiving, back-end backup and shipping hand-off"
          --section 1 --include "${include_file}" --output "${MAN_OUT}" ${KESTLE}
  RESULT_VARIABLE status ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "help2man failed (${status}): ${err}")
endif()

# The bash completion. It follows the command words typed so far down the
# tree, then offers that command's subcommands, or its options after a
# dash; file names are offered besides subcommands.
file(WRITE "${COMPLETION_OUT}" "# bash completion for kestle (generated from its help texts)

# _kestle_words PATH: sets commands and options of the command PATH (its
# words separated by spaces, \"\" for the tool itself).
_kestle_words() {
  commands=\"\" options=\"\"
  case \"$1\" in
${completion_cases}  esac
}

_kestle() {
  local cur=\"\${COMP_WORDS[COMP_CWORD]}\" path=\"\" word commands options i
  for ((i = 1; i < COMP_CWORD; i++)); do
    word=\"\${COMP_WORDS[i]}\"
    [[ \"$word\" == -* ]] && continue
    _kestle_words \"$path\"
    if [[ \" $commands \" == *\" $word \"* ]]; then
      path=\"\${path:+$path }$word\"
    fi
  done
  _kestle_words \"$path\"
  if [[ \"$cur\" == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W \"$options\" -- \"$cur\")
  else
    mapfile -t COMPREPLY < <(compgen -W \"$commands\" -- \"$cur\"; compgen -f -- \"$cur\")
  fi
}
complete -o filenames -F _kestle kestle
")
