# The Linux shell: its settings file (unit tests) and the real program under
# Xvfb (end-to-end), driven from a scratch directory with a copy of data/.
if(TARGET glasswake_sdl_app)
    add_executable(sdl_test_settings ${CMAKE_CURRENT_SOURCE_DIR}/sdl_test_settings.cpp)
    target_link_libraries(sdl_test_settings PRIVATE glasswake_shell_sdl glasswake_linux_paths glasswake_test_support GTest::gtest
                          GTest::gtest_main glasswake_warnings)
    gtest_discover_tests(sdl_test_settings WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
                         DISCOVERY_TIMEOUT 60)

    # A stand-in application that records its hooks, for the cases the demo
    # never produces (Init and Frame failing).
    add_executable(hook_recorder ${CMAKE_CURRENT_SOURCE_DIR}/hook_recorder.cpp)
    target_link_libraries(hook_recorder PRIVATE glasswake_sdl_app glasswake_scene_constants
                          glasswake_warnings)

    set(e2e_program "")
    set(e2e_counted "")
    if(TARGET glasswake)
        set(e2e_program $<TARGET_FILE:glasswake>)
        # The demo again, counting operator new from one swap to the next.
        add_executable(demo_frame_allocations ${PROJECT_SOURCE_DIR}/app/sdl/main.cpp
                       ${CMAKE_CURRENT_SOURCE_DIR}/demo_frame_allocations.cpp
                       ${PROJECT_SOURCE_DIR}/tools/allocation_counter.cpp)
        target_include_directories(demo_frame_allocations PRIVATE ${PROJECT_SOURCE_DIR})
        target_link_libraries(demo_frame_allocations PRIVATE glasswake_demo_viewer glasswake_sdl_app
                              glasswake_scene glasswake_gl_backend glasswake_warnings)
        target_link_options(demo_frame_allocations PRIVATE -Wl,--wrap=SDL_GL_SwapWindow)
        target_compile_definitions(demo_frame_allocations PRIVATE GLASSWAKE_VERSION="${PROJECT_VERSION}")
        set(e2e_counted $<TARGET_FILE:demo_frame_allocations>)
    endif()
    add_test(NAME e2e_sdl
             COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e_sdl.sh "${e2e_program}"
                     $<TARGET_FILE:hook_recorder> ${PROJECT_SOURCE_DIR}
                     ${CMAKE_CURRENT_BINARY_DIR}/e2e_sdl "${e2e_counted}")
    set_tests_properties(e2e_sdl PROPERTIES TIMEOUT 300 RUN_SERIAL TRUE)
endif()
