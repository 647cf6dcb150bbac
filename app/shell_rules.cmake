# The platform-free shell rules (settings values, command line, frame clock),
# shared by the SDL and Win32 shells and by the tests. Include this file from
# any CMakeLists.txt; it defines the library once.
if(NOT TARGET glasswake_shell_rules)
    add_library(glasswake_shell_rules STATIC ${CMAKE_CURRENT_LIST_DIR}/shell_rules.cpp)
    target_include_directories(glasswake_shell_rules PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(glasswake_shell_rules PRIVATE glasswake_warnings)
endif()
