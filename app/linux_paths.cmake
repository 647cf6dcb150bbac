# Where the Linux programs find their data and keep their settings, shared by
# the SDL shell and the tool. Include this file from any CMakeLists.txt; it
# defines the library once.
include(${CMAKE_CURRENT_LIST_DIR}/shell_rules.cmake)
if(NOT TARGET glasswake_linux_paths)
    add_library(glasswake_linux_paths STATIC ${CMAKE_CURRENT_LIST_DIR}/linux_paths.cpp)
    target_include_directories(glasswake_linux_paths PUBLIC ${PROJECT_SOURCE_DIR})
    target_compile_definitions(glasswake_linux_paths
                               PRIVATE GLASSWAKE_DATA_FROM_BIN="${glasswake_data_from_bin}")
    target_link_libraries(glasswake_linux_paths PUBLIC glasswake_shell_rules
                          PRIVATE glasswake_warnings)
endif()
