# The browser backend's CPU-side texture work, checked against the desktop's
# upload on the headless context. The browser itself is tested by
# tests/web/browser.test.mjs, run by scripts/web.sh test.
if(TARGET glasswake_headless AND TARGET glasswake_gl_backend)
    add_executable(gl_test_webgl_mipmaps ${CMAKE_CURRENT_LIST_DIR}/web/gl_test_mipmaps.cpp
                   ${PROJECT_SOURCE_DIR}/render/backends/webgl_mipmaps.cpp)
    target_link_libraries(gl_test_webgl_mipmaps PRIVATE glasswake_gl_backend glasswake_headless
                          GTest::gtest GTest::gtest_main glasswake_warnings)
    gtest_discover_tests(gl_test_webgl_mipmaps DISCOVERY_TIMEOUT 60)
endif()
