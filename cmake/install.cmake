# What `cmake --install` puts under the prefix, and the Debian package CPack
# makes of the same tree (scripts/release.sh). Destinations are relative, so
# DESTDIR, --prefix and CPack all work.
set(glasswake_doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/glasswake)

# Who makes Glasswake and where it lives, said once for the package, its
# changelog and copyright, and the software centres' metadata.
set(glasswake_homepage "https://glasswake.dev")
set(glasswake_team "The Glasswake developers")
set(glasswake_contact "team@glasswake.dev")
set(glasswake_maintainer "${glasswake_team} <${glasswake_contact}>")

install(TARGETS glasswake glasswake-tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${glasswake_data_files}
        DESTINATION ${glasswake_data_dir}/data)
install(FILES app/sdl/glasswake.desktop DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
# The icon: drawn as SVG (app/sdl/icons/glasswake.svg), with the sizes the
# icon theme asks for made from it by scripts/docs.sh.
foreach(size 16 24 32 48 64 128 256)
    install(FILES app/sdl/icons/glasswake-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/${size}x${size}/apps
            RENAME glasswake.png)
endforeach()
install(FILES app/sdl/icons/glasswake.svg
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps)
configure_file(app/sdl/glasswake.metainfo.xml.in
               ${CMAKE_BINARY_DIR}/packaging/dev.glasswake.Glasswake.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/dev.glasswake.Glasswake.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo)

# Debian wants the licence as a machine-readable "copyright" and a compressed
# changelog beside the documents; both are harmless in any other prefix.
file(READ LICENSE licence_text)
string(REGEX REPLACE "\n\n" "\n.\n" licence_text "${licence_text}")
string(REGEX REPLACE "\n([^\n])" "\n \\1" licence_text "${licence_text}")
set(debian_copyright ${CMAKE_BINARY_DIR}/packaging/copyright)
file(WRITE ${debian_copyright}
     "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
     "Upstream-Name: glasswake\nUpstream-Contact: ${glasswake_maintainer}\n"
     "Source: ${glasswake_homepage}\n\nFiles: *\nCopyright: 2026 ${glasswake_team}\n"
     "License: Expat\n ${licence_text}")
set(debian_changelog ${CMAKE_BINARY_DIR}/packaging/changelog)
file(WRITE ${debian_changelog}
     "glasswake (${PROJECT_VERSION}) unstable; urgency=low\n\n"
     "  * Release ${PROJECT_VERSION}.\n\n"
     " -- ${glasswake_maintainer}  Mon, 07 Dec 2026 00:00:00 +0000\n")
execute_process(COMMAND gzip -9nf ${debian_changelog})
# The manual pages carry the version; Debian wants them compressed. They
# are made from the programs' --help by help2man, dated like the changelog.
find_program(help2man_program help2man)
if(NOT help2man_program)
    message(FATAL_ERROR "help2man makes the manual pages: scripts/install-deps.sh run")
endif()
set(tool_man_dir ${CMAKE_BINARY_DIR}/packaging/man)
set(tool_man_pages "")
foreach(page glasswake-tool glasswake-tool-render glasswake-tool-bench glasswake-tool-check
        glasswake-tool-info glasswake-tool-make-data)
    list(APPEND tool_man_pages ${tool_man_dir}/${page}.1.gz)
endforeach()
add_custom_command(
    OUTPUT ${tool_man_pages}
    COMMAND ${CMAKE_COMMAND} -DTOOL=$<TARGET_FILE:glasswake-tool> -DOUT_DIR=${tool_man_dir}
            -DDATE_EPOCH=1796601600 -P ${PROJECT_SOURCE_DIR}/cmake/tool_man_pages.cmake
    DEPENDS glasswake-tool ${PROJECT_SOURCE_DIR}/cmake/tool_man_pages.cmake VERBATIM)
add_custom_target(glasswake_tool_man_pages ALL DEPENDS ${tool_man_pages})
install(FILES ${tool_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES tools/completion/glasswake-tool
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions)
# The demo's page comes from its --help the same way (cmake/demo_man_page.cmake).
set(demo_man_page ${tool_man_dir}/glasswake.6.gz)
add_custom_command(
    OUTPUT ${demo_man_page}
    COMMAND ${CMAKE_COMMAND} -DDEMO=$<TARGET_FILE:glasswake>
            -DINCLUDE=${PROJECT_SOURCE_DIR}/app/sdl/man/glasswake.h2m -DOUT=${demo_man_page}
            -DDATE_EPOCH=1796601600 -P ${PROJECT_SOURCE_DIR}/cmake/demo_man_page.cmake
    DEPENDS glasswake ${PROJECT_SOURCE_DIR}/app/sdl/man/glasswake.h2m
            ${PROJECT_SOURCE_DIR}/cmake/demo_man_page.cmake VERBATIM)
add_custom_target(glasswake_demo_man_page ALL DEPENDS ${demo_man_page})
install(FILES ${demo_man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
install(FILES README.md LICENSE ${debian_copyright} ${debian_changelog}.gz
        DESTINATION ${glasswake_doc_dir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME glasswake)
set(CPACK_PACKAGE_VENDOR "${glasswake_team}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${glasswake_maintainer}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${glasswake_homepage}")
# Videos are encoded by ffmpeg running beside the tool; pictures need nothing.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS ffmpeg)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
       "real-time demo of crystals that mirror and refract their surroundings\n"
       "Glasswake draws three crystals on a base while the camera circles them.\n"
       "Every visible face opens a mirrored and a refracted view of the scene,\n"
       "two faces deep, cut by the program's own polygon clipper and filled by\n"
       "OpenGL. The package holds the demo, glasswake-tool (headless pictures,\n"
       "clips and timings) and the data set.")
include(CPack)
