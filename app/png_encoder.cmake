# The PNG encoder (libpng) shared by the Linux demo and the tool. Include this
# file from any CMakeLists.txt; it defines the library once.
if(NOT TARGET glasswake_png_encoder)
    find_package(PNG REQUIRED)
    add_library(glasswake_png_encoder STATIC ${CMAKE_CURRENT_LIST_DIR}/png_encoder.cpp)
    target_include_directories(glasswake_png_encoder PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(glasswake_png_encoder PUBLIC PNG::PNG PRIVATE glasswake_warnings)
endif()
