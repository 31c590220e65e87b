# Runs type_library_finisher under Wine: widl's type library, with IzMUDPlugin added to
# BrawlhueClass, becomes the library the module embeds.
#   cmake -DRUNNER=wine-run -DFINISHER=exe -DWIDL_LIBRARY=tlb -DHOST_LIBRARY=tlb
#         -DSTANDARD_LIBRARY=stdole2.tlb -DOUTPUT=tlb -P finish_type_library.cmake
# A library the tool did not finish fails the build: a module whose coclass does not list
# IzMUDPlugin must never reach a package.
file(REMOVE ${OUTPUT})
get_filename_component(HOST_FOLDER ${HOST_LIBRARY} DIRECTORY)
execute_process(
    COMMAND ${RUNNER} ${FINISHER} Z:${WIDL_LIBRARY} Z:${HOST_LIBRARY} Z:${STANDARD_LIBRARY}
            Z:${OUTPUT}
    # widl's library imports the host's by its file name alone; unregistered, it is found from
    # the current folder.
    WORKING_DIRECTORY ${HOST_FOLDER}
    RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT EXISTS ${OUTPUT})
    file(REMOVE ${OUTPUT})
    message(FATAL_ERROR "type_library_finisher failed (${status}): the type library is not "
                        "finished, so the module is not built.")
endif()
