# One case of the glasswake-tool command-line tests (see suite_tool.cmake).
# Inputs: TOOL, SOURCE_DIR, WORK_DIR, CASE.

# run_tool(EXPECTED_EXIT DIR ARGS...): fails unless the tool exits with
# EXPECTED_EXIT; leaves its output in out and err.
function(run_tool expected_exit working_directory)
    execute_process(COMMAND ${TOOL} ${ARGN} WORKING_DIRECTORY ${working_directory}
                    RESULT_VARIABLE exit_code OUTPUT_VARIABLE stdout ERROR_VARIABLE stderr)
    if(NOT exit_code STREQUAL "${expected_exit}")
        message(FATAL_ERROR "glasswake-tool ${ARGN}: exit ${exit_code}, expected ${expected_exit}\n"
                            "stdout:\n${stdout}\nstderr:\n${stderr}")
    endif()
    set(out "${stdout}" PARENT_SCOPE)
    set(err "${stderr}" PARENT_SCOPE)
endfunction()

function(expect_match text regex)
    if(NOT text MATCHES "${regex}")
        message(FATAL_ERROR "output does not match \"${regex}\":\n${text}")
    endif()
endfunction()

# Splits stdout into lines; each must parse as a JSON object.
function(json_lines text expected_count)
    string(REGEX REPLACE "\n$" "" text "${text}")
    string(REPLACE ";" "\\;" text "${text}")
    string(REPLACE "\n" ";" lines "${text}")
    list(LENGTH lines count)
    if(NOT count EQUAL expected_count)
        message(FATAL_ERROR "expected ${expected_count} JSON lines, got ${count}:\n${text}")
    endif()
    foreach(line IN LISTS lines)
        string(JSON type ERROR_VARIABLE problem TYPE "${line}")
        if(problem OR NOT type STREQUAL "OBJECT")
            message(FATAL_ERROR "not a JSON object: ${line}\n${problem}")
        endif()
    endforeach()
    set(json "${lines}" PARENT_SCOPE)
endfunction()

# expect_json(INDEX KEY VALUE [KEY VALUE...]) on line INDEX of json.
function(expect_json index)
    list(GET json ${index} line)
    set(pairs ${ARGN})
    while(pairs)
        list(POP_FRONT pairs key expected)
        string(JSON value ERROR_VARIABLE problem GET "${line}" ${key})
        if(problem OR NOT value STREQUAL "${expected}")
            message(FATAL_ERROR "\"${key}\" is \"${value}\", expected \"${expected}\" in ${line}")
        endif()
    endwhile()
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
set(objects data/base2.lwo data/crystal1.lwo data/crystal2.lwo data/crystal3.lwo)

if(CASE STREQUAL "usage")
    # Usage errors exit 2 and say what was wrong; --help exits 0.
    foreach(line "||usage: glasswake-tool COMMAND" "no-such-command||unknown command \"no-such-command\""
            "info|--json|no FILE" "info|--bogus|x.lwo|unknown option" "check|--bogus|unknown option: --bogus"
            "check|one|two|expected at most one directory" "make-data||usage: glasswake-tool make-data"
            "make-data|a|b|expected exactly one directory"
            "render|--time-ms|0|--bogus|unknown option: --bogus"
            "render|--time-ms|missing value after: --time-ms" "render|--depth|7|--depth needs a depth from 0 to 6: 7"
            "bench|--frames|1|extra|unexpected argument: extra")
        string(REPLACE "|" ";" arguments "${line}")
        list(POP_BACK arguments expected)
        list(REMOVE_ITEM arguments "")
        run_tool(2 ${WORK_DIR} ${arguments})
        expect_match("${err}" "${expected}")
    endforeach()
    run_tool(0 ${WORK_DIR} --help)
    expect_match("${out}" "\n  info .*\n  check .*\n  make-data ")
    foreach(command info check make-data render bench)
        run_tool(0 ${WORK_DIR} ${command} --help)
        expect_match("${out}" "usage: glasswake-tool ${command}")
    endforeach()

elseif(CASE STREQUAL "info_shipped")
    run_tool(0 ${SOURCE_DIR} info --json ${objects} data/env.bmp)
    json_lines("${out}" 5)
    expect_json(4 file data/env.bmp type bmp ok ON bitsPerPixel 24 reason "")
    foreach(index 0 1 2 3)
        list(GET objects ${index} name)
        expect_json(${index} file ${name} type lwo ok ON closed ON reason "")
    endforeach()
    run_tool(1 ${SOURCE_DIR} info data/crystal2.lwo data/missing.BMP data/env.bmp)
    expect_match("${out}" "data/crystal2.lwo: LWOB object, [0-9]+ points, [0-9]+ faces, closed,")
    expect_match("${out}" "data/missing.BMP: No such file or directory")
    expect_match("${out}" "data/env.bmp: BMP picture, [0-9]+ x [0-9]+, 24 bits per pixel")

elseif(CASE STREQUAL "info_missing")
    # Missing, special, foreign and empty files: exit 1, every line still valid
    # JSON with "ok": false and the reader's reason. A FIFO must not block.
    file(WRITE ${WORK_DIR}/garbage.lwo "FORM but not really an object")
    execute_process(COMMAND printf "FORM\\0\\0\\0\\4LWOB" OUTPUT_FILE ${WORK_DIR}/empty.lwo)
    execute_process(COMMAND mkfifo ${WORK_DIR}/fifo.lwo)
    run_tool(1 ${WORK_DIR} info --json missing.lwo MISSING.BMP garbage.lwo fifo.lwo empty.lwo
             ${SOURCE_DIR}/data/crystal3.lwo)
    json_lines("${out}" 6)
    expect_json(0 type lwo ok OFF closed OFF edges 0 reason "No such file or directory")
    expect_json(1 type bmp ok OFF crc32 0 reason "No such file or directory")
    expect_json(2 ok OFF reason "not an LWOB object (the file does not start with FORM....LWOB)")
    expect_json(3 ok OFF reason "not a regular file")
    expect_json(4 ok ON closed OFF reason "the object has no faces")
    expect_json(5 ok ON)
    # Quotes, backslashes and control characters give one valid line whose
    # "file" reads back as the name; bytes from 0x80 are escaped one by one.
    set(name "odd \"name\" with \\ and\ttab.lwo")
    run_tool(1 ${WORK_DIR} info --json "${name}")
    json_lines("${out}" 1)
    expect_json(0 file "${name}")
    run_tool(1 ${WORK_DIR} info --json "café.lwo")
    json_lines("${out}" 1)
    expect_match("${out}" "\"file\": \"caf\\\\u00c3\\\\u00a9\\.lwo\"")

elseif(CASE STREQUAL "check")
    run_tool(0 ${WORK_DIR} check ${SOURCE_DIR})
    expect_match("${out}" "data set is valid")
    run_tool(0 ${SOURCE_DIR} check)  # the current directory by default
    foreach(name ${objects} data/env.bmp)
        expect_match("${out}" "(^|\n)[^\n]*${name}: ")
    endforeach()
    # Each file named with the reader's reason; a FIFO must not block any command.
    file(MAKE_DIRECTORY ${WORK_DIR}/odd/data)
    execute_process(COMMAND mkfifo ${WORK_DIR}/odd/data/crystal1.lwo)
    run_tool(1 ${WORK_DIR} check odd)
    expect_match("${err}" "odd/data/base2.lwo: No such file or directory")
    expect_match("${err}" "odd/data/crystal1.lwo: not a regular file")
    expect_match("${err}" "odd/data/env.bmp: No such file or directory")
    file(COPY ${SOURCE_DIR}/data/base2.lwo DESTINATION ${WORK_DIR}/odd/data)
    run_tool(1 ${WORK_DIR} render --time-ms 0 --root odd --output x.png)
    expect_match("${err}" "data/crystal1.lwo: not a regular file")

elseif(CASE STREQUAL "make_data")
    # Byte equality with the shipped files is a unit test; here the command
    # line writes a set that passes the check, and names a file it cannot write.
    run_tool(0 ${WORK_DIR} make-data fresh/data)
    run_tool(0 ${WORK_DIR} check fresh)
    file(WRITE ${WORK_DIR}/plain-file "not a directory")
    run_tool(1 ${WORK_DIR} make-data plain-file/data)
    expect_match("${err}" "plain-file/data/base2.lwo: could not be written")

else()
    message(FATAL_ERROR "unknown case ${CASE}")
endif()
