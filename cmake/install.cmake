# What `cmake --install` puts under the prefix, and the Debian package CPack
# makes of the same tree (scripts/release.sh). Destinations are relative, so
# DESTDIR, --prefix and CPack all work.
set(glasswake_doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/glasswake)

install(TARGETS glasswake glasswake-tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES data/base2.lwo data/crystal1.lwo data/crystal2.lwo data/crystal3.lwo data/env.bmp
        DESTINATION ${glasswake_data_dir}/data)
install(FILES app/sdl/glasswake.desktop DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
foreach(size 16 32 48 64 128 256)
    install(FILES app/sdl/icons/glasswake-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/${size}x${size}/apps
            RENAME glasswake.png)
endforeach()

# Debian wants the licence as a machine-readable "copyright" and a compressed
# changelog beside the documents; both are harmless in any other prefix.
file(READ LICENSE licence_text)
string(REGEX REPLACE "\n\n" "\n.\n" licence_text "${licence_text}")
string(REGEX REPLACE "\n([^\n])" "\n \\1" licence_text "${licence_text}")
set(debian_copyright ${CMAKE_BINARY_DIR}/packaging/copyright)
file(WRITE ${debian_copyright}
     "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
     "Upstream-Name: glasswake\n\nFiles: *\nCopyright: 2026 the Glasswake developers\n"
     "License: Expat\n ${licence_text}")
set(glasswake_maintainer "Glasswake developers <glasswake@example.org>")
set(debian_changelog ${CMAKE_BINARY_DIR}/packaging/changelog)
file(WRITE ${debian_changelog}
     "glasswake (${PROJECT_VERSION}) unstable; urgency=low\n\n"
     "  * Release ${PROJECT_VERSION}.\n\n"
     " -- ${glasswake_maintainer}  Mon, 07 Dec 2026 00:00:00 +0000\n")
execute_process(COMMAND gzip -9nf ${debian_changelog})
# The manual pages carry the version; Debian wants them compressed.
foreach(page glasswake.6 glasswake-tool.1)
    configure_file(app/sdl/man/${page} ${CMAKE_BINARY_DIR}/packaging/${page} @ONLY)
    execute_process(COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/packaging/${page})
    string(REGEX REPLACE ".*\\." "" section ${page})
    install(FILES ${CMAKE_BINARY_DIR}/packaging/${page}.gz
            DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endforeach()
install(FILES README.md LICENSE ${debian_copyright} ${debian_changelog}.gz
        DESTINATION ${glasswake_doc_dir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME glasswake)
set(CPACK_PACKAGE_VENDOR "the Glasswake developers")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${glasswake_maintainer}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
       "real-time demo of crystals that mirror and refract their surroundings\n"
       "Glasswake draws three crystals on a base while the camera circles them.\n"
       "Every visible face opens a mirrored and a refracted view of the scene,\n"
       "two faces deep, cut by the program's own polygon clipper and filled by\n"
       "OpenGL. The package holds the demo, glasswake-tool (headless pictures,\n"
       "clips and timings) and the data set.")
include(CPack)
