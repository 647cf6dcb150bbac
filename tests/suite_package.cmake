# The package's menu entry, AppStream metadata and icons.
if(TARGET glasswake_tool_man_pages)
    add_test(NAME package.metadata
             COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/package_metadata.sh
                     ${CMAKE_BINARY_DIR}/packaging/dev.glasswake.Glasswake.metainfo.xml)
endif()
