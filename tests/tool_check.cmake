# One case of the glasswake-tool command-line suite (see suite_tool.cmake).
# Inputs: TOOL, SOURCE_DIR, WORK_DIR, CASE.
cmake_policy(SET CMP0007 NEW)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
set(cwd ${WORK_DIR})

# run_tool(EXPECTED_EXIT ARGS...) in cwd: fails unless the tool exits with
# EXPECTED_EXIT; leaves its output in out and err.
function(run_tool expected_exit)
    execute_process(COMMAND ${TOOL} ${ARGN} WORKING_DIRECTORY ${cwd}
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

# Each line of stdout must be a JSON object; expect_json(INDEX KEY VALUE...)
# then compares keys of line INDEX.
function(json_lines expected_count)
    string(REGEX REPLACE "\n$" "" text "${out}")
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

function(expect_png path width height)
    file(READ ${path} header LIMIT 24 HEX)
    string(SUBSTRING "${header}" 0 16 signature)
    string(SUBSTRING "${header}" 32 8 width_hex)
    string(SUBSTRING "${header}" 40 8 height_hex)
    math(EXPR found "(0x${width_hex} << 16) | 0x${height_hex}")
    math(EXPR expected "(${width} << 16) | ${height}")
    if(NOT signature STREQUAL "89504e470d0a1a0a" OR NOT found EQUAL expected)
        message(FATAL_ERROR "${path} is not a ${width}x${height} PNG: ${header}")
    endif()
endfunction()

set(objects data/base2.lwo data/crystal1.lwo data/crystal2.lwo data/crystal3.lwo)

if(CASE STREQUAL "errors")
    # Each line: exit status, arguments, what stderr and stdout must say. Usage
    # errors exit 2 saying what was wrong; a file that cannot be read or written
    # exits 1 naming it with the reason. Nothing is written either way.
    file(MAKE_DIRECTORY ${WORK_DIR}/part/data)
    file(COPY ${SOURCE_DIR}/data/base2.lwo DESTINATION ${WORK_DIR}/part/data)
    file(WRITE ${WORK_DIR}/plain-file "not a directory")
    set(render "2|render|--time-ms|0")
    set(usage "usage: glasswake-tool render")
    set(bench "usage: glasswake-tool bench")
    foreach(line "2||usage: glasswake-tool COMMAND" "2|no-such-command|unknown command \"no-such-command\""
            "2|info|--json|no FILE" "2|info|--bogus|x.lwo|unknown option" "2|check|--bogus|unknown option: --bogus"
            "2|check|one|two|expected at most one directory" "2|make-data|usage: glasswake-tool make-data"
            "2|make-data|a|b|expected exactly one directory" "${render}|--bogus|unknown option: --bogus"
            "2|render|--time-ms|missing value after: --time-ms" "2|render|--depth|7|--depth needs a depth from 0 to 6: 7"
            "2|render|${usage}" "${render}|${usage}" "2|render|--time-ms|ten|--output|x.png|${usage}"
            "2|render|--time-ms|-5|--output|x.png|${usage}" "2|render|--time-ms|4294967296|--output|x.png|${usage}"
            "${render}|--frames|2|--output|x.png|${usage}" "${render}|--size|0x480|--output|x.png|${usage}"
            "${render}|--size|640x0|--output|x.png|${usage}" "${render}|--size|20000x480|--output|x.png|${usage}"
            "${render}|--size|640|--output|x.png|${usage}" "${render}|--size|640x480x3|--output|x.png|${usage}"
            "2|render|--frames|0|--output-dir|d|${usage}" "2|render|--frames|2|--fps|0|--output-dir|d|${usage}"
            "2|render|--frames|2|--fps|-30|--output-dir|d|${usage}" "2|render|--frames|2|--output|x.png|${usage}"
            "${render}|--fps|30|--output|x.png|${usage}" "${render}|--overlay|lines|--output|x.png|${usage}"
            "${render}|--backend|gl|--output|x.png|--backend needs exact or fast: gl"
            "2|bench|--frames|1|extra|unexpected argument: extra" "2|bench|--frames|0|${bench}"
            "2|bench|--depth|99|${bench}" "2|bench|--size|10|${bench}" "2|bench|--json|extra|${bench}"
            "2|bench|--backend|slow|--backend needs exact or fast: slow"
            "1|info|missing.lwo|MISSING.BMP|missing.lwo: No such file or directory\nMISSING.BMP: No such file"
            "1|check|part|part/data/crystal1.lwo: No such file or directory"
            "1|render|--time-ms|0|--root|part|--output|x.png|render: data/crystal1.lwo: No such file or directory"
            "1|render|--time-ms|0|--root|no_such_root|--output|x.png|no_such_root: No such file or directory"
            "1|bench|--frames|2|--root|no_such_root|no_such_root: No such file or directory"
            "1|make-data|plain-file/data|plain-file/data/base2.lwo: could not be written")
        string(REPLACE "|" ";" arguments "${line}")
        list(POP_FRONT arguments expected_exit)
        list(POP_BACK arguments expected)
        list(REMOVE_ITEM arguments "")
        run_tool(${expected_exit} ${arguments})
        expect_match("${err}${out}" "${expected}")
    endforeach()
    file(GLOB_RECURSE written RELATIVE ${WORK_DIR} ${WORK_DIR}/*)
    if(NOT written STREQUAL "part/data/base2.lwo;plain-file")
        message(FATAL_ERROR "failed command lines wrote files: ${written}")
    endif()
    run_tool(0 --help)
    expect_match("${out}" "\n  info .*\n  check .*\n  make-data ")
    foreach(command info check make-data render bench)
        run_tool(0 ${command} --help)
        expect_match("${out}" "usage: glasswake-tool ${command}")
    endforeach()

elseif(CASE STREQUAL "info")
    set(cwd ${SOURCE_DIR})
    run_tool(0 info --json ${objects} data/env.bmp)
    json_lines(5)
    expect_json(4 file data/env.bmp type bmp ok ON bitsPerPixel 24 reason "")
    foreach(index 0 1 2 3)
        list(GET objects ${index} name)
        expect_json(${index} file ${name} type lwo ok ON closed ON reason "")
    endforeach()
    run_tool(0 info data/crystal2.lwo data/env.bmp)
    expect_match("${out}" "data/crystal2.lwo: LWOB object, [0-9]+ points, [0-9]+ faces, closed,")
    expect_match("${out}" "data/env.bmp: BMP picture, [0-9]+ x [0-9]+, 24 bits per pixel")
    # A failed file is still one valid line, its numbers zero; an object that
    # loads but does not link is ok and not closed. Quotes, backslashes and
    # control characters read back as the name; bytes from 0x80 are escaped one by one.
    set(cwd ${WORK_DIR})
    execute_process(COMMAND printf "FORM\\0\\0\\0\\4LWOB" OUTPUT_FILE ${WORK_DIR}/empty.lwo)
    set(name "odd \"name\" with \\ and\ttab.lwo")
    run_tool(1 info --json missing.lwo MISSING.BMP empty.lwo "${name}" "café.lwo")
    json_lines(5)
    expect_json(0 type lwo ok OFF closed OFF edges 0 reason "No such file or directory")
    expect_json(1 type bmp ok OFF crc32 0 reason "No such file or directory")
    expect_json(2 ok ON closed OFF reason "the object has no faces")
    expect_json(3 file "${name}")
    expect_match("${out}" "\"file\": \"caf\\\\u00c3\\\\u00a9\\.lwo\"")

elseif(CASE STREQUAL "check_and_make_data")
    # Byte equality with the shipped files is a unit test; here the command
    # line writes a set that passes the check.
    run_tool(0 check ${SOURCE_DIR})
    expect_match("${out}" "data set is valid")
    run_tool(0 make-data fresh/data)
    set(cwd ${WORK_DIR}/fresh)
    run_tool(0 check)  # the current directory by default
    foreach(name ${objects} data/env.bmp)
        expect_match("${out}" "(^|\n)[^\n]*${name}: ")
    endforeach()

elseif(CASE STREQUAL "render")
    # The default size, an odd size whose rows are not 4-byte aligned, the
    # explaining options, and a view the frame lacks (refused, nothing written).
    run_tool(0 render --time-ms 2500 --root ${SOURCE_DIR} --output frame.png)
    expect_png(${WORK_DIR}/frame.png 640 480)
    run_tool(0 render --time-ms 0 --size 101x37 --root ${SOURCE_DIR} --output odd.png)
    expect_png(${WORK_DIR}/odd.png 101 37)
    run_tool(0 render --time-ms 2500 --size 160x120 --depth 3 --overlay views --only-view 0
             --root ${SOURCE_DIR} --output overlay.png)
    expect_png(${WORK_DIR}/overlay.png 160 120)
    run_tool(1 render --time-ms 2500 --only-view 1000000 --root ${SOURCE_DIR} --output no.png)
    expect_match("${err}" "no view 1000000")
    run_tool(0 render --frames 3 --fps 10 --start-ms 100 --size 64x48 --root ${SOURCE_DIR}
             --output-dir clip/sub)
    foreach(index 00000 00001 00002)
        expect_png(${WORK_DIR}/clip/sub/frame_${index}.png 64 48)
    endforeach()
    file(GLOB_RECURSE written RELATIVE ${WORK_DIR} ${WORK_DIR}/*)
    if(NOT written STREQUAL "clip/sub/frame_00000.png;clip/sub/frame_00001.png;clip/sub/frame_00002.png;frame.png;odd.png;overlay.png")
        message(FATAL_ERROR "unexpected files: ${written}")
    endif()

elseif(CASE STREQUAL "bench")
    # Counts only, never timings: they must hold on any machine. Without
    # --backend the fast backend draws (Mesa's software GL has shaders).
    foreach(choice fast exact)
        set(choice_arguments --backend ${choice})
        if(choice STREQUAL "fast")
            set(choice_arguments "")
        endif()
        run_tool(0 bench --frames 8 --size 160x120 --root ${SOURCE_DIR} ${choice_arguments} --json)
        foreach(key backend frames width depth heapAllocationsPerFrame arenaOverflowFrames)
            string(JSON ${key} GET "${out}" ${key})
        endforeach()
        string(JSON views GET "${out}" views max)
        string(JSON polygons GET "${out}" arenaPeak polygons)
        string(JSON median GET "${out}" traversalMs median)
        if(NOT backend STREQUAL choice OR NOT frames EQUAL 8 OR NOT width EQUAL 160
           OR NOT depth EQUAL 2 OR NOT heapAllocationsPerFrame EQUAL 0
           OR NOT arenaOverflowFrames EQUAL 0 OR views LESS 2 OR polygons LESS 1
           OR median STREQUAL "")
            message(FATAL_ERROR "wrong backend, settings, allocations, overflows or no work: ${out}")
        endif()
    endforeach()

else()
    message(FATAL_ERROR "unknown case ${CASE}")
endif()
