# The tool's command lines end to end (usage errors, files named with the
# reason they fail, JSON lines, pictures, bench counts).
if(TARGET glasswake-tool)
    foreach(case errors info check_and_make_data render video failures bench scene)
        add_test(NAME tool.${case}
                 COMMAND ${CMAKE_COMMAND} -DTOOL=$<TARGET_FILE:glasswake-tool> -DCASE=${case}
                         -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
                         -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/tool_${case}
                         -P ${CMAKE_CURRENT_SOURCE_DIR}/tool_check.cmake)
    endforeach()
endif()
# What is made from --help: docs/tool.md's option lists, the manual pages and
# the bash completion.
if(TARGET glasswake_tool_man_pages)
    add_test(NAME tool.help
             COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tool_help.sh $<TARGET_FILE:glasswake-tool>
                     ${CMAKE_BINARY_DIR}/packaging/man $<TARGET_FILE:glasswake>)
endif()
