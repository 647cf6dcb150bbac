# GoogleTest for the Windows cross build: compiled from Debian's libgtest-dev
# sources with the cross compiler, since no prebuilt Windows library exists.
set(GLASSWAKE_GTEST_SOURCE_DIR /usr/src/googletest/googletest CACHE PATH
    "GoogleTest sources used for the Windows build")
if(NOT EXISTS ${GLASSWAKE_GTEST_SOURCE_DIR}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest sources not found in ${GLASSWAKE_GTEST_SOURCE_DIR} "
                        "(install libgtest-dev)")
endif()

add_subdirectory(${GLASSWAKE_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

if(NOT TARGET GTest::gtest)
    add_library(GTest::gtest ALIAS gtest)
endif()
if(NOT TARGET GTest::gtest_main)
    add_library(GTest::gtest_main ALIAS gtest_main)
endif()
