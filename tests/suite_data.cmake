# The data tests exercise the generator and the checker of tools/ directly.
include(${PROJECT_SOURCE_DIR}/tools/data_library.cmake)
foreach(test_name test_data_generator test_data_check)
    if(TARGET ${test_name})
        target_link_libraries(${test_name} PRIVATE glasswake_data)
    endif()
endforeach()
