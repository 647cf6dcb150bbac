# Windows-only programs: the unit tests of the Win32 display side, a test
# application run by the real shell, and the probe that tests/e2e_windows.sh
# uses to look at and drive the programs under Wine. The suite itself runs
# from scripts/windows.sh test.
if(WIN32)
    add_executable(win32_test_display ${CMAKE_CURRENT_LIST_DIR}/win32_test_display.cpp)
    target_link_libraries(win32_test_display PRIVATE glasswake_win32_display GTest::gtest
                          GTest::gtest_main glasswake_warnings)
    add_executable(hook_recorder WIN32 ${CMAKE_CURRENT_LIST_DIR}/hook_recorder.cpp)
    target_link_libraries(hook_recorder PRIVATE glasswake_win32_shell glasswake_scene_constants
                          glasswake_warnings)
    add_executable(win32_probe ${CMAKE_CURRENT_LIST_DIR}/win32_probe.cpp)
    target_link_libraries(win32_probe PRIVATE user32 glasswake_warnings)
endif()
