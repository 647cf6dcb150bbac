# The info, check and make-data command lines end to end: exit codes, JSON
# lines, messages naming the faulty file, and usage errors (exit 2).
if(TARGET glasswake-tool)
    set(tool_command_check ${CMAKE_CURRENT_SOURCE_DIR}/tool_command_check.cmake)
    foreach(case usage info_shipped info_text info_missing info_escaping info_usage
                 check_shipped check_missing check_usage make_data make_data_unwritable
                 make_data_usage)
        add_test(NAME tool.${case}
                 COMMAND ${CMAKE_COMMAND} -DTOOL=$<TARGET_FILE:glasswake-tool>
                         -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
                         -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/tool_${case}
                         -DCASE=${case} -P ${tool_command_check})
    endforeach()
endif()
