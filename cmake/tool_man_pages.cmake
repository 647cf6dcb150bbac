# The manual pages of glasswake-tool, made by help2man from the --help of the
# tool and of each command, so they list exactly the options and examples
# --help does: glasswake-tool(1) and glasswake-tool-COMMAND(1), gzipped for
# installing. Inputs: TOOL, OUT_DIR, DATE_EPOCH (the pages' date).
find_program(help2man help2man REQUIRED)
set(pages
    "|pictures, clips, timings and data checks of the Glasswake demo"
    "render|draw the Glasswake demo's frames into pictures or a video, headless"
    "bench|time the Glasswake demo's frames headless"
    "check|validate the Glasswake data set"
    "info|describe Glasswake object and picture files"
    "make-data|write the generated Glasswake data set")
set(commands_see_also "")
foreach(page ${pages})
    string(REGEX REPLACE "\\|.*" "" command "${page}")
    if(command)
        string(APPEND commands_see_also ".BR glasswake\\-tool\\-${command} (1),\n")
    endif()
endforeach()
file(MAKE_DIRECTORY ${OUT_DIR})
set(ENV{SOURCE_DATE_EPOCH} ${DATE_EPOCH})
foreach(page ${pages})
    string(REGEX REPLACE "\\|.*" "" command "${page}")
    string(REGEX REPLACE "^[^|]*\\|" "" summary "${page}")
    if(command)
        set(name glasswake-tool-${command})
        set(see_also ".BR glasswake\\-tool (1),\n.BR glasswake (6)\n")
    else()
        set(name glasswake-tool)
        set(see_also "${commands_see_also}.BR glasswake (6)\n")
    endif()
    file(WRITE ${OUT_DIR}/${name}.include "[SEE ALSO]\n${see_also}")
    execute_process(COMMAND ${help2man} --no-info --section=1 --manual "User Commands"
                            --name=${summary} --include=${OUT_DIR}/${name}.include
                            "${TOOL} ${command}"
                    OUTPUT_VARIABLE text RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "help2man could not make ${name}(1)")
    endif()
    # help2man names the page after the program; a command's page is named
    # after the program and the command, as man looks it up.
    string(TOUPPER ${name} title)
    string(REGEX REPLACE "\n\\.TH [^ ]+ " "\n.TH ${title} " text "${text}")
    string(REGEX REPLACE "\n\\.SH NAME\nglasswake-tool " "\n.SH NAME\n${name} " text "${text}")
    string(REPLACE "\n.SH NAME\nglasswake-tool-" "\n.SH NAME\nglasswake\\-tool\\-" text "${text}")
    file(WRITE ${OUT_DIR}/${name}.1 "${text}")
    execute_process(COMMAND gzip -9nf ${OUT_DIR}/${name}.1)
endforeach()
