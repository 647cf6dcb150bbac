# One case of the render command-line suite; run with cmake -P.
# Inputs: TOOL, SOURCE_DIR, WORK_DIR, CASE.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

function(expect_png path width height)
    if(NOT EXISTS ${path})
        message(FATAL_ERROR "${path} was not written")
    endif()
    file(READ ${path} header LIMIT 24 HEX)
    string(SUBSTRING "${header}" 0 16 signature)
    if(NOT signature STREQUAL "89504e470d0a1a0a")
        message(FATAL_ERROR "${path} is not a PNG (starts ${signature})")
    endif()
    string(SUBSTRING "${header}" 32 8 width_hex)
    string(SUBSTRING "${header}" 40 8 height_hex)
    math(EXPR found_width "0x${width_hex}")
    math(EXPR found_height "0x${height_hex}")
    if(NOT found_width EQUAL width OR NOT found_height EQUAL height)
        message(FATAL_ERROR "${path} is ${found_width}x${found_height}, expected ${width}x${height}")
    endif()
endfunction()

function(run_tool expected_status)
    execute_process(COMMAND ${TOOL} ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out
                    ERROR_VARIABLE err WORKING_DIRECTORY ${WORK_DIR})
    if(NOT status STREQUAL "${expected_status}")
        message(FATAL_ERROR "glasswake-tool ${ARGN}\nexit ${status}, expected ${expected_status}\n"
                            "stdout: ${out}\nstderr: ${err}")
    endif()
    set(tool_stderr "${err}" PARENT_SCOPE)
endfunction()

if(CASE STREQUAL "single_picture")
    # The default size, and an odd size whose rows are not 4-byte aligned.
    run_tool(0 render --time-ms 2500 --root ${SOURCE_DIR} --output frame.png)
    expect_png(${WORK_DIR}/frame.png 640 480)
    run_tool(0 render --time-ms 0 --size 101x37 --root ${SOURCE_DIR} --output odd.png)
    expect_png(${WORK_DIR}/odd.png 101 37)
    # The explaining options; a view the frame lacks is refused, nothing written.
    run_tool(0 render --time-ms 2500 --size 160x120 --depth 3 --overlay views --only-view 0
             --root ${SOURCE_DIR} --output overlay.png)
    expect_png(${WORK_DIR}/overlay.png 160 120)
    run_tool(1 render --time-ms 2500 --only-view 1000000 --root ${SOURCE_DIR} --output no.png)
    if(NOT tool_stderr MATCHES "no view 1000000" OR EXISTS ${WORK_DIR}/no.png)
        message(FATAL_ERROR "missing view not named or a picture written: ${tool_stderr}")
    endif()
elseif(CASE STREQUAL "sequence")
    run_tool(0 render --frames 3 --fps 10 --start-ms 100 --size 64x48 --root ${SOURCE_DIR}
             --output-dir clip/sub)
    foreach(index 00000 00001 00002)
        expect_png(${WORK_DIR}/clip/sub/frame_${index}.png 64 48)
    endforeach()
    file(GLOB written ${WORK_DIR}/clip/sub/*)
    list(LENGTH written written_count)
    if(NOT written_count EQUAL 3)
        message(FATAL_ERROR "expected 3 files, found ${written_count}: ${written}")
    endif()
elseif(CASE STREQUAL "missing_data")
    # Every file but one crystal, then a broken object, a broken picture and
    # a missing root: exit 1 naming the file, and no picture written.
    file(MAKE_DIRECTORY ${WORK_DIR}/root/data)
    foreach(name base2.lwo crystal1.lwo crystal3.lwo env.bmp)
        file(COPY ${SOURCE_DIR}/data/${name} DESTINATION ${WORK_DIR}/root/data)
    endforeach()
    function(expect_refused root named)
        run_tool(1 render --time-ms 0 --root ${root} --output none.png)
        if(NOT tool_stderr MATCHES "${named}" OR EXISTS ${WORK_DIR}/none.png)
            message(FATAL_ERROR "\"${named}\" not named or a picture written: ${tool_stderr}")
        endif()
    endfunction()
    expect_refused(root "data/crystal2.lwo: No such file or directory")
    file(WRITE ${WORK_DIR}/root/data/crystal2.lwo "not an object")
    expect_refused(root "data/crystal2.lwo: ")
    file(COPY ${SOURCE_DIR}/data/crystal2.lwo DESTINATION ${WORK_DIR}/root/data)
    file(WRITE ${WORK_DIR}/root/data/env.bmp "BM")
    expect_refused(root "data/env.bmp: ")
    expect_refused(no_such_root "no_such_root: No such file or directory")
elseif(CASE STREQUAL "bad_arguments")
    # Each line one bad command line; all exit 2 with the usage and write nothing.
    set(out "--output x.png")
    foreach(arguments
            "" "--time-ms 0" "--bogus 1 --time-ms 0 ${out}" "--time-ms ten ${out}"
            "--time-ms -5 ${out}" "--time-ms 4294967296 ${out}" "--time-ms 0 --frames 2 ${out}"
            "--time-ms 0 --size 0x480 ${out}" "--time-ms 0 --size 640x0 ${out}"
            "--time-ms 0 --size 20000x480 ${out}" "--time-ms 0 --size 640 ${out}"
            "--time-ms 0 --size 640x480x3 ${out}" "--frames 0 --output-dir d"
            "--frames 2 --fps 0 --output-dir d" "--frames 2 --fps -30 --output-dir d"
            "--frames 2 ${out}" "--time-ms 0 --fps 30 ${out}" "--time-ms"
            "--time-ms 0 --overlay lines ${out}" "--time-ms 0 --depth 7 ${out}"
            "--time-ms 0 --backend gl ${out}")
        separate_arguments(arguments UNIX_COMMAND "${arguments}")
        run_tool(2 render ${arguments})
        if(NOT tool_stderr MATCHES "usage: glasswake-tool render")
            message(FATAL_ERROR "no usage text for render ${arguments}: ${tool_stderr}")
        endif()
    endforeach()
    file(GLOB written ${WORK_DIR}/*)
    if(written)
        message(FATAL_ERROR "bad command lines wrote files: ${written}")
    endif()
elseif(CASE STREQUAL "bench_counts")
    # Counts only, never timings: they must hold on any machine. Without
    # --backend the fast backend draws (Mesa's software GL has shaders).
    foreach(choice "" exact)
        if(choice)
            set(choice_arguments --backend ${choice})
        else()
            set(choice_arguments "")
            set(choice fast)
        endif()
        execute_process(COMMAND ${TOOL} bench --frames 8 --size 160x120 --root ${SOURCE_DIR}
                                ${choice_arguments} --json
                        RESULT_VARIABLE status OUTPUT_VARIABLE json ERROR_VARIABLE err)
        if(NOT status EQUAL 0)
            message(FATAL_ERROR "bench failed (${status}): ${err}")
        endif()
        foreach(key backend frames width depth heapAllocationsPerFrame arenaOverflowFrames)
            string(JSON ${key} GET "${json}" ${key})
        endforeach()
        string(JSON views GET "${json}" views max)
        string(JSON polygons GET "${json}" arenaPeak polygons)
        string(JSON median GET "${json}" traversalMs median)
        if(NOT backend STREQUAL choice OR NOT frames EQUAL 8 OR NOT width EQUAL 160
           OR NOT depth EQUAL 2 OR NOT heapAllocationsPerFrame EQUAL 0
           OR NOT arenaOverflowFrames EQUAL 0 OR views LESS 2 OR polygons LESS 1
           OR median STREQUAL "")
            message(FATAL_ERROR "wrong backend, settings, allocations, overflows or no work: ${json}")
        endif()
    endforeach()
    foreach(arguments "--frames 0" "--depth 99" "--size 10" "--json extra" "--backend slow")
        separate_arguments(arguments UNIX_COMMAND "${arguments}")
        run_tool(2 bench ${arguments})
    endforeach()
    run_tool(1 bench --frames 2 --root no_such_root)
else()
    message(FATAL_ERROR "unknown case ${CASE}")
endif()
