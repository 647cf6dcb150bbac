# test_shell_rules checks the shells' shared, platform-free rules.
if(TARGET test_shell_rules)
    include(${PROJECT_SOURCE_DIR}/app/shell_rules.cmake)
    target_link_libraries(test_shell_rules PRIVATE glasswake_shell_rules)
endif()
