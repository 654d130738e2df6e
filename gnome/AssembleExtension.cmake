# Assembles one form of Kelvrin's GNOME Shell extension in OUT, as GNOME finds it installed: the
# service and the preferences page, which both forms share; the entries of the form (ENTRY:
# "script" for GNOME 43 and 44, "module" for 45 and later, where the shared files are modules too
# and export what the entries take of them); the metadata declaring the shell versions
# (VERSIONS); Kelvrin's icon (ICON) for the top bar; and the settings schema, compiled (COMPILE:
# glib-compile-schemas). Run by the build as cmake -D... -P.
file(REMOVE_RECURSE "${OUT}")
file(MAKE_DIRECTORY "${OUT}")
foreach(shared "service.js=Extension, installedProgram" "preferences.js=preferencesPage")
    string(REPLACE "=" ";" shared "${shared}")
    list(GET shared 0 file)
    list(GET shared 1 names)
    file(READ "${SOURCE}/${file}" text)
    if(ENTRY STREQUAL "module")
        string(APPEND text "\nexport {${names}};\n")
    endif()
    file(WRITE "${OUT}/${file}" "${text}")
endforeach()
file(COPY "${SOURCE}/${ENTRY}/" DESTINATION "${OUT}")
list(TRANSFORM VERSIONS REPLACE "(.+)" "\"\\1\"")
list(JOIN VERSIONS ", " SHELL_VERSIONS)
configure_file("${SOURCE}/metadata.json.in" "${OUT}/metadata.json" @ONLY)
file(COPY "${SOURCE}/schemas" DESTINATION "${OUT}")
file(COPY_FILE "${ICON}" "${OUT}/kelvrin.svg")
execute_process(COMMAND "${COMPILE}" "${OUT}/schemas" RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "glib-compile-schemas failed on ${OUT}/schemas")
endif()
