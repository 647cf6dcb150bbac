# The data set generator and checker, compiled once for the tool and the tests
# (they are platform-free, so the Windows test build has them too).
include_guard(GLOBAL)
add_library(glasswake_data STATIC ${CMAKE_CURRENT_LIST_DIR}/data_generator.cpp
                                  ${CMAKE_CURRENT_LIST_DIR}/data_check.cpp)
target_link_libraries(glasswake_data PUBLIC glasswake_scene PRIVATE glasswake_warnings)
