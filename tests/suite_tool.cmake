# The info, check and make-data command lines end to end: exit codes, JSON
# lines, messages naming the faulty file, and usage errors (exit 2).
if(TARGET glasswake-tool)
    set(tool_command_check ${CMAKE_CURRENT_SOURCE_DIR}/tool_command_check.cmake)
    foreach(case usage info_shipped info_missing check make_data)
        add_test(NAME tool.${case}
                 COMMAND ${CMAKE_COMMAND} -DTOOL=$<TARGET_FILE:glasswake-tool>
                         -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
                         -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/tool_${case}
                         -DCASE=${case} -P ${tool_command_check})
    endforeach()
endif()
