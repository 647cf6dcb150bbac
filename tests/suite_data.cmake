# The data tests exercise the generator and the checker of tools/ directly.
include(${PROJECT_SOURCE_DIR}/tools/data_library.cmake)
if(TARGET test_data_set)
    target_link_libraries(test_data_set PRIVATE glasswake_data)
endif()
