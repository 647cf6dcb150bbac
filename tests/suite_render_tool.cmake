# The render and bench command lines end to end: pictures of the right size,
# a numbered sequence, the failing data file named (exit 1), usage errors
# (exit 2), and bench's JSON with no heap allocation and no arena overflow.
if(TARGET glasswake-tool)
    set(render_tool_check ${CMAKE_CURRENT_SOURCE_DIR}/render_tool_check.cmake)
    foreach(case single_picture sequence missing_data bad_arguments bench_counts)
        add_test(NAME render_tool.${case}
                 COMMAND ${CMAKE_COMMAND} -DTOOL=$<TARGET_FILE:glasswake-tool>
                         -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
                         -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/render_tool_${case}
                         -DCASE=${case} -P ${render_tool_check})
    endforeach()
endif()
