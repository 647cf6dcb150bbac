# One case of the glasswake-tool command-line tests (see suite_tool.cmake).
# Inputs: TOOL, SOURCE_DIR, WORK_DIR, CASE.

# Runs the tool with the given arguments from working_directory and fails the
# test unless it exits with expected_exit. Leaves out/err in the caller.
function(run_tool expected_exit working_directory)
    execute_process(COMMAND ${TOOL} ${ARGN}
                    WORKING_DIRECTORY ${working_directory}
                    RESULT_VARIABLE exit_code
                    OUTPUT_VARIABLE stdout
                    ERROR_VARIABLE stderr)
    if(NOT exit_code STREQUAL "${expected_exit}")
        message(FATAL_ERROR "glasswake-tool ${ARGN}: exit ${exit_code}, expected ${expected_exit}\n"
                            "stdout:\n${stdout}\nstderr:\n${stderr}")
    endif()
    set(out "${stdout}" PARENT_SCOPE)
    set(err "${stderr}" PARENT_SCOPE)
endfunction()

function(expect_match text regex what)
    if(NOT text MATCHES "${regex}")
        message(FATAL_ERROR "${what} does not match \"${regex}\":\n${text}")
    endif()
endfunction()

# Splits the tool's stdout into lines; each must parse as a JSON object.
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

function(expect_json line key expected)
    string(JSON value ERROR_VARIABLE problem GET "${line}" ${key})
    if(problem OR NOT value STREQUAL "${expected}")
        message(FATAL_ERROR "\"${key}\" is \"${value}\", expected \"${expected}\" in ${line}")
    endif()
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
set(objects data/base2.lwo data/crystal1.lwo data/crystal2.lwo data/crystal3.lwo)

if(CASE STREQUAL "usage")
    run_tool(2 ${WORK_DIR})
    expect_match("${err}" "usage: glasswake-tool COMMAND" "stderr")
    run_tool(2 ${WORK_DIR} no-such-command)
    expect_match("${err}" "unknown command \"no-such-command\"" "stderr")
    run_tool(0 ${WORK_DIR} --help)
    foreach(command info check make-data)
        expect_match("${out}" "\n  ${command} " "--help")
    endforeach()

elseif(CASE STREQUAL "info_shipped")
    run_tool(0 ${SOURCE_DIR} info --json ${objects} data/env.bmp)
    json_lines("${out}" 5)
    list(GET json 4 picture)
    expect_json("${picture}" file "data/env.bmp")
    expect_json("${picture}" type "bmp")
    expect_json("${picture}" ok "ON")
    expect_json("${picture}" bitsPerPixel 24)
    string(JSON width GET "${picture}" width)
    string(JSON height GET "${picture}" height)
    string(JSON row_bytes GET "${picture}" rowBytes)
    string(JSON byte_size GET "${picture}" byteSize)
    math(EXPR expected_row "${width} * 3")
    math(EXPR expected_size "${expected_row} * ${height}")
    if(NOT row_bytes EQUAL expected_row OR NOT byte_size EQUAL expected_size)
        message(FATAL_ERROR "picture sizes disagree: ${picture}")
    endif()
    foreach(index 0 1 2 3)
        list(GET json ${index} object)
        list(GET objects ${index} name)
        expect_json("${object}" file "${name}")
        expect_json("${object}" type "lwo")
        expect_json("${object}" ok "ON")
        expect_json("${object}" closed "ON")
        string(JSON faces GET "${object}" faces)
        string(JSON edges GET "${object}" edges)
        string(JSON center_length LENGTH "${object}" center)
        if(faces LESS 4 OR edges LESS 6 OR NOT center_length EQUAL 3)
            message(FATAL_ERROR "implausible object: ${object}")
        endif()
    endforeach()

elseif(CASE STREQUAL "info_text")
    run_tool(1 ${SOURCE_DIR} info data/crystal2.lwo data/missing.BMP data/env.bmp)
    expect_match("${out}" "data/crystal2.lwo: LWOB object, [0-9]+ points, [0-9]+ faces, closed,"
                 "stdout")
    expect_match("${out}" "data/missing.BMP: not a readable BMP picture" "stdout")
    expect_match("${out}" "data/env.bmp: BMP picture, [0-9]+ x [0-9]+, 24 bits per pixel" "stdout")
    run_tool(0 ${SOURCE_DIR} info data/env.bmp)

elseif(CASE STREQUAL "info_missing")
    # Missing files, a picture name in upper case, and a file that is not an
    # object: exit 1, every line still valid JSON with "ok": false.
    file(WRITE ${WORK_DIR}/garbage.lwo "FORM but not really an object")
    run_tool(1 ${WORK_DIR} info --json missing.lwo MISSING.BMP garbage.lwo
             ${SOURCE_DIR}/data/crystal3.lwo)
    json_lines("${out}" 4)
    list(GET json 0 first)
    expect_json("${first}" type "lwo")
    expect_json("${first}" ok "OFF")
    expect_json("${first}" closed "OFF")
    expect_json("${first}" edges 0)
    list(GET json 1 second)
    expect_json("${second}" type "bmp")
    expect_json("${second}" ok "OFF")
    expect_json("${second}" crc32 0)
    list(GET json 2 third)
    expect_json("${third}" ok "OFF")
    list(GET json 3 fourth)
    expect_json("${fourth}" ok "ON")
    run_tool(1 ${WORK_DIR} info missing.lwo)
    expect_match("${out}" "missing.lwo: not a readable LWOB object" "text output")

elseif(CASE STREQUAL "info_escaping")
    # Quotes, backslashes and control characters in a name still give one
    # valid JSON line whose "file" reads back as the name.
    set(name "odd \"name\" with \\ and\ttab.lwo")
    run_tool(1 ${WORK_DIR} info --json "${name}")
    json_lines("${out}" 1)
    expect_json("${json}" file "${name}")
    # Bytes of 0x80 and above are escaped one by one, so the line stays ASCII
    # and valid whatever the name's encoding.
    run_tool(1 ${WORK_DIR} info --json "café.lwo")
    json_lines("${out}" 1)
    expect_match("${out}" "\"file\": \"caf\\\\u00c3\\\\u00a9\\.lwo\"" "stdout")

elseif(CASE STREQUAL "info_usage")
    run_tool(2 ${WORK_DIR} info --json)
    expect_match("${err}" "no FILE" "stderr")
    run_tool(2 ${WORK_DIR} info --bogus x.lwo)
    expect_match("${err}" "unknown option" "stderr")
    run_tool(0 ${WORK_DIR} info --help)
    expect_match("${out}" "usage: glasswake-tool info" "stdout")

elseif(CASE STREQUAL "check_shipped")
    run_tool(0 ${SOURCE_DIR} check)
    expect_match("${out}" "data set is valid" "stdout")
    foreach(name ${objects} data/env.bmp)
        expect_match("${out}" "(^|\n)${name}: " "stdout")
    endforeach()
    run_tool(0 ${WORK_DIR} check ${SOURCE_DIR})
    expect_match("${out}" "data set is valid" "stdout")

elseif(CASE STREQUAL "check_missing")
    run_tool(1 ${WORK_DIR} check ${WORK_DIR}/nothing-here)
    expect_match("${err}" "nothing-here/data/base2.lwo: cannot be read" "stderr")
    expect_match("${err}" "nothing-here/data/env.bmp: cannot be read" "stderr")

elseif(CASE STREQUAL "check_usage")
    run_tool(2 ${WORK_DIR} check one two)
    expect_match("${err}" "usage: glasswake-tool check" "stderr")
    run_tool(0 ${WORK_DIR} check --help)
    expect_match("${out}" "usage: glasswake-tool check" "stdout")

elseif(CASE STREQUAL "make_data")
    # Regenerating into a fresh directory gives the shipped bytes, and the
    # result passes the check.
    run_tool(0 ${WORK_DIR} make-data fresh/data)
    foreach(name base2.lwo crystal1.lwo crystal2.lwo crystal3.lwo env.bmp)
        execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files
                                ${WORK_DIR}/fresh/data/${name} ${SOURCE_DIR}/data/${name}
                        RESULT_VARIABLE different)
        if(different)
            message(FATAL_ERROR "make-data wrote a different ${name} than the shipped one")
        endif()
    endforeach()
    run_tool(0 ${WORK_DIR} check fresh)

elseif(CASE STREQUAL "make_data_unwritable")
    file(WRITE ${WORK_DIR}/plain-file "not a directory")
    run_tool(1 ${WORK_DIR} make-data plain-file/data)
    expect_match("${err}" "plain-file/data/base2.lwo: could not be written" "stderr")

elseif(CASE STREQUAL "make_data_usage")
    run_tool(2 ${WORK_DIR} make-data)
    run_tool(2 ${WORK_DIR} make-data a b)
    run_tool(0 ${WORK_DIR} make-data --help)
    expect_match("${out}" "usage: glasswake-tool make-data DIR" "stdout")

else()
    message(FATAL_ERROR "unknown case ${CASE}")
endif()
