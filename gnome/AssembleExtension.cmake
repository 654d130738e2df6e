# Assembles one form of Kelvrin's GNOME Shell extension in OUT, as GNOME finds it installed: the
# service, which both forms share, the entry of the form (ENTRY: "script" for GNOME 43 and 44,
# "module" for 45 and later, where the service is also a module and exports its class), the
# metadata declaring the shell versions (VERSIONS), Kelvrin's icon (ICON) for the top bar and the
# settings schema, compiled (COMPILE: glib-compile-schemas). Run by the build as cmake -D... -P.
file(REMOVE_RECURSE "${OUT}")
file(MAKE_DIRECTORY "${OUT}")
file(READ "${SOURCE}/service.js" service)
if(ENTRY STREQUAL "module")
    string(APPEND service "\nexport {Extension};\n")
endif()
file(WRITE "${OUT}/service.js" "${service}")
file(COPY_FILE "${SOURCE}/${ENTRY}/extension.js" "${OUT}/extension.js")
list(TRANSFORM VERSIONS REPLACE "(.+)" "\"\\1\"")
list(JOIN VERSIONS ", " SHELL_VERSIONS)
configure_file("${SOURCE}/metadata.json.in" "${OUT}/metadata.json" @ONLY)
file(COPY "${SOURCE}/schemas" DESTINATION "${OUT}")
file(COPY_FILE "${ICON}" "${OUT}/kelvrin.svg")
execute_process(COMMAND "${COMPILE}" "${OUT}/schemas" RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "glib-compile-schemas failed on ${OUT}/schemas")
endif()
