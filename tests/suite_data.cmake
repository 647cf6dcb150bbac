# The data tests exercise the generator and the checker of tools/ directly;
# those two files are platform-free, so they are compiled into the tests
# (also for the Windows build, where the tool itself is not built).
foreach(test_name test_data_generator test_data_check)
    if(TARGET ${test_name})
        target_sources(${test_name} PRIVATE ${PROJECT_SOURCE_DIR}/tools/data_generator.cpp
                                            ${PROJECT_SOURCE_DIR}/tools/data_check.cpp)
    endif()
endforeach()
