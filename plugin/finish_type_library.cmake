# Runs type_library_finisher under Wine: widl's type library, with IzMUDPlugin added to
# BrawlhueClass, becomes the library the module embeds.
#   cmake -DRUNS=ON|OFF -DRUNNER=wine-run -DFINISHER=exe -DWIDL_LIBRARY=tlb -DHOST_LIBRARY=tlb
#         -DOUTPUT=tlb -P finish_type_library.cmake
# Where this build's programs cannot run (a 32-bit build on a machine without 32-bit support:
# RUNS is OFF), or the tool fails, the module embeds widl's library as it stands, and the build
# says so loudly; the module's tests check the coclass wherever they run.
file(REMOVE ${OUTPUT})
get_filename_component(HOST_FOLDER ${HOST_LIBRARY} DIRECTORY)
set(finished FALSE)
if(RUNS)
    execute_process(
        COMMAND ${RUNNER} ${FINISHER} Z:${WIDL_LIBRARY} Z:${HOST_LIBRARY} Z:${OUTPUT}
        # widl's library imports the host's by its file name alone; unregistered, it is found
        # from the current folder.
        WORKING_DIRECTORY ${HOST_FOLDER}
        RESULT_VARIABLE status)
    if(status EQUAL 0 AND EXISTS ${OUTPUT})
        set(finished TRUE)
    else()
        message(WARNING "type_library_finisher failed (${status})")
    endif()
endif()
if(NOT finished)
    message(WARNING "The type library is widl's as it stands: its coclass BrawlhueClass does not "
                    "list IzMUDPlugin. This build's programs do not run on this machine, or the "
                    "tool failed; do not ship this build.")
    file(COPY_FILE ${WIDL_LIBRARY} ${OUTPUT})
endif()
