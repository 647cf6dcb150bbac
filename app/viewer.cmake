# What the demo's viewers share (the page and the Linux demo): the clock's,
# the camera's and the panels' controls and the keys that give them. Include
# this file from any CMakeLists.txt; it defines the library once.
if(NOT TARGET glasswake_viewer)
    add_library(glasswake_viewer STATIC ${CMAKE_CURRENT_LIST_DIR}/viewer.cpp)
    target_include_directories(glasswake_viewer PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(glasswake_viewer PUBLIC glasswake_scene PRIVATE glasswake_warnings)
endif()
