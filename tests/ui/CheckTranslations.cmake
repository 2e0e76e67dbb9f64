# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when a translation is behind the code: a text the code shows that a
# translations/*.ts file lacks or leaves untranslated, or an entry whose text
# the code no longer has. lupdate works on copies, so the files in the source
# tree stay as they are; `cmake --build build --target update_translations`
# brings them up to date for the translator.
#   cmake -DLUPDATE=<lupdate> -DSOURCE_DIR=<project> -DWORK_DIR=<dir> -P CheckTranslations.cmake
cmake_minimum_required(VERSION 3.25)

file(GLOB ts_files "${SOURCE_DIR}/translations/*.ts")
if(NOT ts_files)
    message(FATAL_ERROR "No translations in ${SOURCE_DIR}/translations")
endif()
file(MAKE_DIRECTORY "${WORK_DIR}")

# A message's source, then its comments, then a translation that is not done.
set(comment "<(comment|extracomment|translatorcomment)>[^<]*</(comment|extracomment|translatorcomment)>")
set(behind "<source>([^<]*)</source>([^<]|${comment})*<translation( type=\"(unfinished|vanished|obsolete)\">|>[ \t\r\n]*</translation>|/>)")

set(problems "")
foreach(ts IN LISTS ts_files)
    get_filename_component(name "${ts}" NAME)
    set(copy "${WORK_DIR}/${name}")
    file(COPY_FILE "${ts}" "${copy}")
    # Without -no-obsolete: a text gone from the code stays, marked vanished.
    execute_process(COMMAND "${LUPDATE}" -silent -locations none src -ts "${copy}"
                    WORKING_DIRECTORY "${SOURCE_DIR}"
                    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "lupdate failed on ${name}:\n${output}")
    endif()
    file(READ "${copy}" text)
    # A ";" would split the list of matches; it comes back in the report.
    string(REPLACE ";" "@semicolon@" text "${text}")
    string(REGEX MATCHALL "${behind}" found "${text}")
    foreach(entry IN LISTS found)
        string(REGEX MATCH "<source>([^<]*)</source>" ignored "${entry}")
        set(source "${CMAKE_MATCH_1}")
        # As written in the code, for the report.
        string(REPLACE "&apos@semicolon@" "'" source "${source}")
        string(REPLACE "&quot@semicolon@" "\"" source "${source}")
        string(REPLACE "&lt@semicolon@" "<" source "${source}")
        string(REPLACE "&gt@semicolon@" ">" source "${source}")
        string(REPLACE "&amp@semicolon@" "&" source "${source}")
        string(REPLACE "@semicolon@" ";" source "${source}")
        if(entry MATCHES "type=\"(vanished|obsolete)\"")
            string(APPEND problems "  ${name}: no longer in the code: ${source}\n")
        else()
            string(APPEND problems "  ${name}: not translated: ${source}\n")
        endif()
    endforeach()
endforeach()

if(problems)
    message(FATAL_ERROR "Translations are behind the code:\n${problems}"
                        "Run the target update_translations and translate the new texts.")
endif()
