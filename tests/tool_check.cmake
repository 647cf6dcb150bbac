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
        message(FATAL_ERROR "glasswake-tool ${ARGN}: exit ${exit_code}, not ${expected_exit}\n"
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

# expect_json(INDEX KEY VALUE...): line INDEX of stdout is a JSON object
# holding these values.
function(expect_json index)
    string(REGEX MATCHALL "[^\n]+" lines "${out}")
    list(GET lines ${index} line)
    set(pairs ${ARGN})
    while(pairs)
        list(POP_FRONT pairs key expected)
        string(JSON value ERROR_VARIABLE problem GET "${line}" ${key})
        if(problem OR NOT value STREQUAL "${expected}")
            message(FATAL_ERROR "\"${key}\" is \"${value}\", not \"${expected}\" in ${line}")
        endif()
    endwhile()
endfunction()

# expect_png(WIDTH HEIGHT FILE...): each file (in WORK_DIR) is a PNG of that size.
function(expect_png width height)
    foreach(name ${ARGN})
        file(READ ${WORK_DIR}/${name} header LIMIT 24 HEX)
        string(REGEX MATCH "^89504e470d0a1a0a.*(........)(........)$" png "${header}")
        math(EXPR found_width "0x0${CMAKE_MATCH_1}")
        math(EXPR found_height "0x0${CMAKE_MATCH_2}")
        if(NOT png OR NOT "${found_width}x${found_height}" STREQUAL "${width}x${height}")
            message(FATAL_ERROR "${name} is not a ${width}x${height} PNG: ${header}")
        endif()
    endforeach()
endfunction()

function(expect_files)
    file(GLOB_RECURSE written RELATIVE ${WORK_DIR} ${WORK_DIR}/*)
    if(NOT written STREQUAL "${ARGN}")
        message(FATAL_ERROR "the files written are ${written}, not ${ARGN}")
    endif()
endfunction()

set(objects data/base2.lwo data/crystal1.lwo data/crystal2.lwo data/crystal3.lwo)

if(CASE STREQUAL "errors")
    # Each row: exit status, arguments, what stderr and stdout must say; one row
    # per refusal of each command and of the option parser render and bench
    # share. Usage errors exit 2 saying what was wrong; a file that cannot be read
    # or written exits 1 naming it with the reason. Nothing is written either way.
    file(MAKE_DIRECTORY ${WORK_DIR}/part/data)
    file(COPY ${SOURCE_DIR}/data/base2.lwo DESTINATION ${WORK_DIR}/part/data)
    file(WRITE ${WORK_DIR}/plain-file "not a directory")
    set(r "2|render|--time-ms|0")
    set(f "--frames|2")
    set(u "\nTry 'glasswake-tool render --help' for more information\\.\n$")
    set(o "--output|x.png|${u}")
    set(d "--output-dir|d|${u}")
    foreach(row "0|--help|\n  render .*\n  bench .*\n  check .*\n  info .*\n  make-data "
            "2||^glasswake-tool: missing command\nTry 'glasswake-tool --help'"
            "2|no-such-command|unknown command: no-such-command"
            "0|info|--help|^Usage: glasswake-tool info .*\nOptions:\n .*\nExamples:\n"
            "2|info|--json|no FILE"
            "2|info|--bogus|x.lwo|unknown option: --bogus"
            "0|check|--help|^Usage: glasswake-tool check" "2|check|--bogus|unknown option: --bogus"
            "2|check|a|b|expected at most one directory"
            "0|make-data|--help|^Usage: glasswake-tool make-data"
            "2|make-data|expected exactly one directory"
            "2|make-data|a|b|expected exactly one directory"
            "0|render|--help|^Usage: glasswake-tool render" "0|render|-V|^glasswake-tool [0-9.]+\n$"
            "${r}|--bogus|^glasswake-tool render: unknown option: --bogus${u}"
            "2|render|--time-ms=ten|-o|x.png|--time-ms needs a whole number of milliseconds: ten${u}"
            "2|render|-o|x.jpg|unknown output format. give a .png name, or with --frames .mp4, .webm or .gif: x.jpg"
            "2|render|--list-views=1|this option takes no value: --list-views"
            "2|render|--out|x.png|ambiguous option: --out" "2|render|-q|unknown option: -q"
            "2|render|--time-ms|missing value after: --time-ms"
            "2|render|--depth|7|--depth needs a depth from 0 to 6: 7" "2|render|${u}" "${r}|${u}"
            "2|render|--time-ms|ten|${o}" "2|render|--time-ms|4294967296|${o}" "${r}|${f}|${o}"
            "${r}|--size|0x480|${o}" "${r}|--size|20000x480|${o}" "${r}|--size|640|${o}"
            "${r}|--size|640x480x3|${o}" "2|render|--frames|0|${d}" "2|render|${f}|--fps|0|${d}"
            "2|render|${f}|--fps|-30|${d}" "2|render|${f}|--fps|0x10|${d}" "2|render|${f}|--fps|1e1|${d}" "2|render|${f}|${o}" "${r}|--fps|30|${o}"
            "${r}|--overlay|lines|${o}" "${r}|--backend|gl|--output|x.png|needs exact or fast: gl"
            "${r}|--camera|10,90,4|--output|x.png|distance 3 to 12: 10,90,4"
            "${r}|--samples|3|--output|x.png|--samples needs 1, 2, 4 or 8: 3"
            "${r}|--backend|exact|--samples|4|--output|x.png|exact draws one sample per pixel, not: 4"
            # llvmpipe offers 4 samples per pixel and no other count.
            "1|render|--time-ms|0|--samples|8|--size|8x8|--root|${SOURCE_DIR}|--output|x.png|--samples 8: this OpenGL context offers 1 or 4 samples per pixel, not 8"
            "1|bench|--samples|2|--root|${SOURCE_DIR}|--samples 2: this OpenGL context offers 1 or 4 samples per pixel, not 2"
            "2|bench|--samples|16|--samples needs 1, 2, 4 or 8: 16"
            "${r}|--output|x.Gif|writes one PNG" "2|render|${f}|--output|x.png|a .mp4, .webm or .gif"
            "2|render|${f}|--size|64x37|--output|x.webm|an even width and height, not: 64x37"
            "2|render|${f}|--ffmpeg|ffmpeg|--output-dir|d|--ffmpeg belongs to video output"
            "2|render|${f}|--first-frame|5|--output|x.mp4|--first-frame makes a chunk of a PNG sequence"
            "${r}|--first-frame|5|--output|x.png|--first-frame belong to --frames"
            "1|render|${f}|--ffmpeg|no/ffmpeg|--output|x.mp4|no/ffmpeg: not an ffmpeg that can be run"
            "0|bench|--help|^Usage: glasswake-tool bench"
            "2|bench|--frames|1|extra|unexpected argument: extra"
            "2|bench|--backend|slow|--backend needs exact or fast: slow"
            "1|info|missing.lwo|MISSING.BMP|missing.lwo: No such file or directory\nMISSING.BMP: No"
            "1|check|part|part/data/crystal1.lwo: No such file or directory"
            "1|render|--time-ms|0|--root|part|--output|x.png|render: the data files were not found. looked in: part/data\n$"
            "1|bench|--frames|2|--root|no_such_root|looked in: no_such_root/data\n$"
            # One slash between a folder and data/, however the folder ends.
            "1|bench|--frames|2|--root|part/|looked in: part/data\n$"
            "1|bench|--frames|2|--root|/|looked in: /data\n$"
            "1|make-data|plain-file/data|plain-file/data could not be made: Not a directory"
            "1|make-data|/proc/gw|/proc/gw could not be made: No such file or directory")
        string(REPLACE "|" ";" arguments "${row}")
        list(POP_FRONT arguments expected_exit)
        list(POP_BACK arguments expected)
        list(REMOVE_ITEM arguments "")
        run_tool(${expected_exit} ${arguments})
        expect_match("${err}${out}" "${expected}")
    endforeach()
    expect_files(part/data/base2.lwo plain-file)

elseif(CASE STREQUAL "info")
    # Every line is one valid JSON object, a failed file's numbers zero; an
    # object that loads but does not link is ok and not closed. Quotes,
    # backslashes and control characters read back as the name; bytes from
    # 0x80 are escaped one by one.
    execute_process(COMMAND printf "FORM\\0\\0\\0\\4LWOB" OUTPUT_FILE ${WORK_DIR}/empty.lwo)
    set(name "odd \"name\" with \\ and\ttab.lwo")
    list(TRANSFORM objects PREPEND ${SOURCE_DIR}/ OUTPUT_VARIABLE paths)
    run_tool(1 info --json ${paths} ${SOURCE_DIR}/data/env.bmp missing.lwo MISSING.BMP empty.lwo
             "${name}" "café.lwo")
    foreach(index 0 1 2 3)
        list(GET paths ${index} path)
        expect_json(${index} file ${path} type lwo ok ON closed ON reason "")
    endforeach()
    expect_json(4 type bmp ok ON bitsPerPixel 24 reason "")
    expect_json(5 type lwo ok OFF closed OFF edges 0 reason "No such file or directory")
    expect_json(6 type bmp ok OFF crc32 0 reason "No such file or directory")
    expect_json(7 ok ON closed OFF reason "the object has no faces")
    expect_json(8 file "${name}")
    expect_json(9 type lwo)
    expect_match("${out}" "\"file\": \"caf\\\\u00c3\\\\u00a9\\.lwo\"[^\n]*\n$")  # the last line
    set(cwd ${SOURCE_DIR})
    run_tool(0 info data/crystal2.lwo data/env.bmp)
    expect_match("${out}" "data/crystal2.lwo: LWOB object, [0-9]+ points, [0-9]+ faces, closed,")
    expect_match("${out}" "data/env.bmp: BMP picture, [0-9]+ x [0-9]+, 24 bits per pixel")
    # What a scene reads, told by the first bytes (a PNG named .lwo is a
    # PNG), else by the name, and anything else as an OBJ mesh: pictures at
    # their own size, a mesh wound inward turned round and said.
    set(cwd ${WORK_DIR})
    execute_process(COMMAND convert -size 300x200 gradient:red-blue png:sky.lwo
                    COMMAND_ERROR_IS_FATAL ANY WORKING_DIRECTORY ${WORK_DIR})
    execute_process(COMMAND convert -size 64x48 gradient:red-blue sky.jpg
                    COMMAND_ERROR_IS_FATAL ANY WORKING_DIRECTORY ${WORK_DIR})
    file(WRITE ${WORK_DIR}/inward.obj "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 1\nv 1 0 1\n"
         "v 1 1 1\nv 0 1 1\nf 2 3 4 1\nf 8 7 6 5\nf 5 6 2 1\nf 6 7 3 2\nf 7 8 4 3\nf 8 5 1 4\n")
    run_tool(1 info --json sky.lwo sky.jpg inward.obj missing.JPEG missing.dat)
    expect_json(0 type png ok ON width 300 height 200 bitsPerPixel 24 byteSize 180000)
    expect_json(1 type jpeg ok ON width 64 height 48 reason "")
    expect_json(2 type obj ok ON closed ON convex ON faces 6 edges 12
                notice "turned round: its faces were wound inward")
    expect_json(3 type jpeg ok OFF reason "No such file or directory")
    expect_json(4 type obj ok OFF closed OFF)
    run_tool(0 info sky.jpg inward.obj)
    expect_match("${out}" "^sky.jpg: JPEG picture, 64 x 48, 24 bits per pixel, 192 bytes per row")
    expect_match("${out}" "\ninward.obj: OBJ mesh, 8 points, 6 faces, closed, 12 edges, convex, centre \\(0.5, 0.5, 0.5\\)\ninward.obj: turned round: its faces were wound inward\n$")

elseif(CASE STREQUAL "check_and_make_data")
    # Byte equality with the shipped files is a unit test; here the command
    # line writes a set that passes the check.
    run_tool(0 make-data fresh/data)
    set(cwd ${WORK_DIR}/fresh)
    run_tool(0 check)  # the current directory by default
    foreach(name ${objects} data/env.bmp "data set is valid")
        expect_match("${out}" "(^|\n)[^\n]*${name}")
    endforeach()
    # Elsewhere, check finds the data installed beside the program, as render does.
    file(MAKE_DIRECTORY ${WORK_DIR}/prefix/bin ${WORK_DIR}/prefix/share/glasswake
         ${WORK_DIR}/elsewhere)
    file(COPY ${TOOL} DESTINATION ${WORK_DIR}/prefix/bin)
    file(COPY ${WORK_DIR}/fresh/data DESTINATION ${WORK_DIR}/prefix/share/glasswake)
    get_filename_component(name ${TOOL} NAME)
    set(tool ${TOOL})
    set(TOOL ${WORK_DIR}/prefix/bin/${name})
    set(cwd ${WORK_DIR}/elsewhere)
    run_tool(0 check)
    expect_match("${out}" "prefix/bin/../share/glasswake/data/crystal3.lwo.*data set is valid")
    set(TOOL ${tool})
    set(cwd ${WORK_DIR}/fresh)
    # A closed convex prism of 128 sides for the first crystal: a valid mesh
    # whose views overflow the standard frame memory in most frames. The
    # budget sized at start-up leaves views under a pixel closed and grows
    # the arena: every frame is drawn whole.
    file(WRITE ${WORK_DIR}/prism.py [[
import math, struct
n, pack = 128, struct.pack
points = [(-0.2 + 0.35 * math.cos(2 * math.pi * k / n), y, 0.6 + 0.35 * math.sin(2 * math.pi * k / n))
          for y in (0.4, 2.4) for k in range(n)]
faces = [[n + k, n + (k + 1) % n, (k + 1) % n, k] for k in range(n)]
faces += [list(range(n)), list(range(2 * n - 1, n - 1, -1))]
pnts = b''.join(pack('>3f', *p) for p in points)
pols = b''.join(pack('>H%dHh' % len(f), len(f), *f, 1) for f in faces)
body = b'LWOBPNTS' + pack('>I', len(pnts)) + pnts + b'POLS' + pack('>I', len(pols)) + pols
open('data/crystal1.lwo', 'wb').write(b'FORM' + pack('>I', len(body)) + body)
]])
    execute_process(COMMAND python3 ${WORK_DIR}/prism.py WORKING_DIRECTORY ${cwd})
    run_tool(0 check)
    expect_match("${out}" "frame budget: [0-9]+ polygons, [0-9]+ points, [0-9]+ slots \\([0-9]+ MiB\\), views under 1 pixel open no children")
    expect_match("${out}" "depth 2: [0-9]+ views per frame \\(median\\), [0-9]+ most; arena peak [0-9]+ polygons, [0-9]+ points, [0-9]+ slots; 0 of 240 frames trimmed, 0 overflowed")
    expect_match("${out}" "data set is valid")
    run_tool(0 render --frames 8 --fps 1 --size 64x48 --root . --output-dir ${WORK_DIR}/seq)
    if(err MATCHES "warning")
        message(FATAL_ERROR "render warned of a frame the budget holds:\n${err}")
    endif()

elseif(CASE STREQUAL "scene")
    # The example scene file names the shipped files: the frame drawn through
    # it is the shipped frame, byte for byte. A scene whose picture cannot be
    # read, or whose crystal is not convex, stops with the file and the reason.
    run_tool(0 make-data --scene-example example)
    run_tool(0 check --scene example/scene.toml)
    expect_match("${out}" "crystal3.lwo: crystal3, 13 points")
    # The shipped scene keeps the standard frame memory and opens every view.
    expect_match("${out}" "frame budget: 100000 polygons, 100000 points, 100000 slots \\([0-9]+ MiB\\), every view opened")
    expect_match("${out}" "scene is valid")
    # The two scenes made from code are valid too, every orbit frame whole.
    run_tool(0 check --scene example/gem.toml)
    expect_match("${out}" "gem.obj: crystal2, 201 points, 201 faces, 400 edges, convex")
    # 501 facets: more than the standard memory holds; within the budget
    # every orbit frame is whole at each depth.
    run_tool(0 check --scene example/brilliant.toml)
    expect_match("${out}" "brilliant.obj: crystal2, 501 points, 501 faces, 1000 edges, convex")
    expect_match("${out}" "views under 1 pixel open no children")
    foreach(depth 0 1 2)
        expect_match("${out}" "depth ${depth}: [^\n]* 0 of 240 frames trimmed, 0 overflowed")
    endforeach()
    # The brilliant's cut, 1,000 facets round (5,001 in all): the orbit runs
    # out of even the ceiling's frame memory, so the scene is refused at
    # start-up with the reason rather than drawn with parts missing.
    file(WRITE ${WORK_DIR}/example/gem.py [[
import math
n, rings = 1000, [(.5, .55), (.8, .42), (.95, .3), (1, .22), (.6, -.2)]
turn = [(math.cos(2 * math.pi * k / n), math.sin(2 * math.pi * k / n)) for k in range(n)]
lines = ['v %f %f %f' % (.9168 + .45 * r * c, 1.2 + .45 * h, -.4584 + .45 * r * s)
         for r, h in rings for c, s in turn] + ['v .9168 .8625 -.4584']
at = lambda r, k: r * n + k % n + 1
lines.append('f ' + ' '.join(str(at(0, k)) for k in range(n - 1, -1, -1)))
lines += ['f %d %d %d %d' % (at(r, k), at(r, k + 1), at(r + 1, k + 1), at(r + 1, k))
          for r in range(len(rings) - 1) for k in range(n)]
lines += ['f %d %d %d' % (at(4, k), at(4, k + 1), 5 * n + 1) for k in range(n)]
open('fine.obj', 'w').write('\n'.join(lines) + '\n')
open('fine.toml', 'w').write(open('brilliant.toml').read().replace('brilliant.obj', 'fine.obj'))
]])
    execute_process(COMMAND python3 gem.py WORKING_DIRECTORY ${WORK_DIR}/example)
    run_tool(1 check --scene example/fine.toml)
    expect_match("${err}" "^glasswake-tool check: the scene needs more than 256 MiB of frame memory at depth 2, even with views under 1 pixel left closed\n$")
    run_tool(0 check --scene example/prism.toml)
    expect_match("${out}" "prism.obj: crystal2, 24 points, 14 faces, 36 edges, convex")
    run_tool(0 render --time-ms 2500 --root ${SOURCE_DIR} --output shipped.png)
    run_tool(0 render --time-ms 2500 --scene example/scene.toml --output described.png)
    file(SHA256 ${WORK_DIR}/shipped.png shipped)
    file(SHA256 ${WORK_DIR}/described.png described)
    if(NOT shipped STREQUAL described)
        message(FATAL_ERROR "the example scene does not draw the shipped frame")
    endif()
    file(READ ${WORK_DIR}/example/scene.toml text)
    string(REPLACE "env.bmp" "empty.png" text "${text}")
    file(WRITE ${WORK_DIR}/example/no_picture.toml "${text}")
    file(WRITE ${WORK_DIR}/example/empty.png "")
    run_tool(1 render --time-ms 0 --scene example/no_picture.toml --output none.png)
    expect_match("${err}" "example/empty.png: the picture file is empty")
    string(REPLACE "empty.png" "env.bmp" text "${text}")
    string(REPLACE "mesh = 'crystal2.lwo'" "mesh = 'dent.obj'" text "${text}")
    file(WRITE ${WORK_DIR}/example/dented.toml "${text}")
    # A cube with one corner pushed in: closed, but not convex.
    file(WRITE ${WORK_DIR}/example/dent.obj "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 1\nv 1 0 1\n"
         "v .6 .6 .6\nv 0 1 1\nf 1 4 3 2\nf 5 6 7 8\nf 1 2 6 5\nf 2 3 7 6\nf 3 4 8 7\nf 4 1 5 8\n")
    run_tool(1 check --scene example/dented.toml)
    expect_match("${err}" "dent.obj: the mesh is not convex")
    run_tool(1 info --scene example/missing.toml)
    expect_match("${err}" "example/missing.toml: ")

elseif(CASE STREQUAL "render")
    # The default size, an odd size whose rows are not 4-byte aligned with the
    # explaining options, and a view the frame lacks (refused, nothing written).
    run_tool(0 render --time-ms 2500 --root ${SOURCE_DIR} --output frame.png)
    run_tool(0 render --time-ms 2500 --size 101x37 --depth 3 --overlay views --only-view 0
             --root ${SOURCE_DIR} --output odd.png)
    run_tool(1 render --time-ms 2500 --only-view 1000000 --root ${SOURCE_DIR} --output no.png)
    expect_match("${err}" "no view 1000000")
    run_tool(0 render --frames 3 --fps 10 --start-ms 100 --size 64x48 --root ${SOURCE_DIR}
             --output-dir clip/sub)
    set(clip clip/sub/frame_00000.png clip/sub/frame_00001.png clip/sub/frame_00002.png)
    # A sequence frame (read back and written another way) is the picture of its moment.
    run_tool(0 render --time-ms 200 --size 64x48 --root ${SOURCE_DIR} --output moment.png)
    file(SHA256 ${WORK_DIR}/moment.png picture)
    file(SHA256 ${WORK_DIR}/clip/sub/frame_00001.png frame)
    if(NOT picture STREQUAL frame)
        message(FATAL_ERROR "frame_00001.png is not the picture at 200 ms")
    endif()
    # The demo's 4 samples per pixel by default; one sample on request; the
    # exact backend draws one.
    run_tool(0 render --time-ms 2500 --samples 4 --root ${SOURCE_DIR} --output four.png)
    run_tool(0 render --time-ms 2500 --samples 1 --root ${SOURCE_DIR} --output one.png)
    run_tool(0 render --time-ms 2500 --backend exact --root ${SOURCE_DIR} --output exact.png)
    file(SHA256 ${WORK_DIR}/frame.png default)
    file(SHA256 ${WORK_DIR}/four.png four)
    file(SHA256 ${WORK_DIR}/one.png one)
    if(NOT default STREQUAL four OR default STREQUAL one)
        message(FATAL_ERROR "the default frame is not the one of 4 samples per pixel")
    endif()
    file(REMOVE ${WORK_DIR}/four.png ${WORK_DIR}/one.png ${WORK_DIR}/exact.png)
    # A camera makes the time needless; --list-views alone writes no file.
    run_tool(0 render --camera=30,30,6 --size=64x48 --root=${SOURCE_DIR} -o camera.png)
    run_tool(0 render --time-ms=2500 --list-views --root ${SOURCE_DIR})
    expect_match("${out}" "^view\tkind\tdepth\tparent\tpolygons\tarea\n0\troot\t0\t-1\t")
    expect_files(camera.png ${clip} frame.png moment.png odd.png)
    expect_png(640 480 frame.png)
    expect_png(101 37 odd.png)
    expect_png(64 48 ${clip})

elseif(CASE STREQUAL "video")
    # Each format decoded by ffprobe; one decoded frame against the PNG of the
    # same moment (in RGB, through the bt709 matrix the tags name). 12 frames
    # at 24/s: frame 5 is the one at 208 ms.
    set(clip --frames 12 --fps 24 --size 640x480 --root ${SOURCE_DIR})
    run_tool(0 render --time-ms 208 --size 640x480 --root ${SOURCE_DIR} --output moment.png)
    foreach(format "CLIP.MP4|h264|yuv420p|bt709|24/1" "clip.webm|vp9|yuv420p|bt709|24/1"
            "clip.gif|gif|bgra|unknown|[0-9/]+")
        string(REPLACE "|" ";" format "${format}")
        list(POP_FRONT format name codec pixels matrix rate)
        run_tool(0 render ${clip} --output ${name})
        execute_process(COMMAND ffprobe -v error -count_frames -show_entries
                                stream=codec_name,nb_read_frames,width,height,r_frame_rate,pix_fmt,color_space
                                -of default=nw=1 ${name} WORKING_DIRECTORY ${WORK_DIR} OUTPUT_VARIABLE out)
        set(stream "codec_name=${codec}\nwidth=640\nheight=480\npix_fmt=${pixels}\n")
        expect_match("${out}" "^${stream}color_space=${matrix}\nr_frame_rate=${rate}\nnb_read_frames=12\n$")
        set(matrix "scale=in_color_matrix=bt709:in_range=tv,")
        execute_process(COMMAND ffmpeg -hide_banner -i ${name} -i moment.png -lavfi
                                "[0:v]select=eq(n\\,5),${matrix}format=rgb24[a];[1:v]format=rgb24[b];[a][b]psnr"
                                -f null - WORKING_DIRECTORY ${WORK_DIR} ERROR_VARIABLE log)
        string(REGEX MATCH "average:([0-9.]+|inf)" psnr "${log}")
        if(NOT name MATCHES "gif" AND (NOT CMAKE_MATCH_1 OR CMAKE_MATCH_1 LESS 35))
            message(FATAL_ERROR "${name}: frame 5 is ${psnr} dB from the PNG, not 35:\n${log}")
        endif()
    endforeach()
    expect_files(CLIP.MP4 clip.gif clip.webm moment.png)
    file(READ ${WORK_DIR}/clip.gif gif LIMIT 4096 HEX)  # loops forever: a repeat count of 0
    expect_match("${gif}" "4e45545343415045322e300301(0000)")
    # A failed encode and an interrupted one leave no file under the name
    # asked for and no partial one; a PNG sequence keeps only whole frames.
    set(tool ${TOOL})
    set(TOOL ${CMAKE_COMMAND} -E env PATH=${WORK_DIR} ${tool})
    run_tool(1 render ${clip} --output missing.mp4)
    expect_match("${err}" "no ffmpeg on PATH; install it .* or give --ffmpeg PATH\n$")
    set(TOOL ${tool})
    file(CREATE_LINK /bin/false ${WORK_DIR}/failing SYMBOLIC)  # found before --root moves
    run_tool(1 render ${clip} --ffmpeg ./failing --output failed.mp4)
    expect_match("${err}" "ffmpeg failed \\(exit status 1\\)")
    file(REMOVE ${WORK_DIR}/failing)
    # On a terminal, a failure mid-clip starts a line of its own after the
    # progress bar, with ffmpeg's own words.
    file(WRITE ${WORK_DIR}/choking "#!/bin/sh\nhead -c 100000 >/dev/null\necho 'choking: no space' >&2\nexit 1\n")
    file(CHMOD ${WORK_DIR}/choking PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
    execute_process(COMMAND script -qfec "${TOOL} render --frames=200 --size=64x48 --root=${SOURCE_DIR} --ffmpeg=./choking -o choked.mp4" /dev/null
                    WORKING_DIRECTORY ${WORK_DIR} OUTPUT_VARIABLE terminal RESULT_VARIABLE exit_code)
    if(NOT exit_code EQUAL 1 OR terminal MATCHES "s left +[^ \r\n]" OR NOT terminal MATCHES
       "(^|\n)glasswake-tool render: ffmpeg failed \\(exit status 1\\):\r?\nchoking: no space\r?\n$")
        message(FATAL_ERROR "a failure on a terminal, exit ${exit_code}:\n${terminal}")
    endif()
    file(REMOVE ${WORK_DIR}/choking)
    foreach(output --output|stopped.mp4 --output|stopped.gif --output-dir|stopped)
        string(REPLACE "|" ";" output ${output})
        execute_process(COMMAND timeout -s INT 3 ${TOOL} render --frames 100000 --size 64x48
                                --root ${SOURCE_DIR} ${output} WORKING_DIRECTORY ${WORK_DIR}
                        RESULT_VARIABLE exit_code ERROR_VARIABLE err)
        # timeout signals the whole process group, as a terminal's Ctrl+C
        # does: ffmpeg hears it too, and what it says then is not shown.
        if(NOT exit_code EQUAL 124 OR NOT err MATCHES "^glasswake-tool render: interrupted(. no video written)?\n$")
            message(FATAL_ERROR "${output}: exit ${exit_code} after Ctrl+C:\n${err}")
        endif()
    endforeach()
    file(GLOB written RELATIVE ${WORK_DIR} ${WORK_DIR}/stopped/*)
    list(SORT written)
    string(REGEX REPLACE "stopped/frame_[0-9]+\\.png;?" "" leftover "${written}")
    list(POP_BACK written last)  # none yet, on a slow enough machine
    set(log "")  # not the comparison's above
    if(last)
        execute_process(COMMAND ffmpeg -v error -i ${last} -f null - WORKING_DIRECTORY ${WORK_DIR}
                        RESULT_VARIABLE broken ERROR_VARIABLE log)
    endif()
    if(broken OR log OR leftover)
        message(FATAL_ERROR "after Ctrl+C: ${last}: ${log}; not frames: ${leftover}")
    endif()
    file(REMOVE_RECURSE ${WORK_DIR}/stopped)
    # A clip drawn in chunks, two at a time by GNU parallel as docs/tool.md
    # shows, is the clip drawn whole, to the bit: frame k at the same moment
    # (start + k * 1000/30 ms, rounded once) under the same number. ffmpeg
    # then joins the chunks' frames into one video.
    set(clip --frames 10 --fps 30 --start-ms 100 --size 64x48 --root ${SOURCE_DIR})
    run_tool(0 render ${clip} --output-dir whole)
    string(REPLACE "--frames;10" "--frames;5" chunk "${clip}")
    execute_process(COMMAND parallel --will-cite -j 2 ${TOOL} render ${chunk} --first-frame {}
                            --output-dir chunks ::: 0 5
                    WORKING_DIRECTORY ${WORK_DIR} RESULT_VARIABLE failed ERROR_VARIABLE log)
    foreach(k RANGE 9)
        file(SHA256 ${WORK_DIR}/whole/frame_0000${k}.png whole)
        file(SHA256 ${WORK_DIR}/chunks/frame_0000${k}.png chunked)
        if(failed OR NOT whole STREQUAL chunked)
            message(FATAL_ERROR "frame ${k} of the chunks is not the whole clip's frame ${k}\n${log}")
        endif()
    endforeach()
    execute_process(COMMAND ffmpeg -v error -framerate 30 -i chunks/frame_%05d.png -c:v libx264
                            -pix_fmt yuv420p joined.mp4 WORKING_DIRECTORY ${WORK_DIR})
    execute_process(COMMAND ffprobe -v error -count_frames -show_entries stream=nb_read_frames
                            -of csv=p=0 joined.mp4 WORKING_DIRECTORY ${WORK_DIR} OUTPUT_VARIABLE joined)
    expect_match("${joined}" "^10\n$")
    file(REMOVE_RECURSE ${WORK_DIR}/whole ${WORK_DIR}/chunks ${WORK_DIR}/joined.mp4)
    expect_files(CLIP.MP4 clip.gif clip.webm moment.png)

elseif(CASE STREQUAL "failures")
    # Failures are never reported as success. Stand-ins for ffmpeg: one that
    # quits at once, one that takes every frame and writes nothing, one whose
    # file is cut short (a full disk: ffmpeg still exits 0), and one that
    # stops reading and ignores every signal but SIGKILL.
    set(clip --frames 6 --size 64x48 --root ${SOURCE_DIR})
    foreach(script "quits|exit 0" "lying|cat >/dev/null" "deaf|echo $$ >${WORK_DIR}/deaf.pid\; trap '' TERM INT HUP\; exec sleep 600"
            "cut|ffmpeg \"$@\"\; s=$?\; for last\; do :\; done\; case \"$*\" in *pipe:0*) truncate -s $(($(stat -L -c %s \"$last\") / 2)) \"$last\"\;\; esac\; exit $s"
            "recording|echo $$ >${WORK_DIR}/recording.pid\; exec ffmpeg \"$@\"")
        string(REPLACE "|" ";" script "${script}")
        list(POP_FRONT script name)
        file(WRITE ${WORK_DIR}/${name} "#!/bin/sh\n${script}\n")
        file(CHMOD ${WORK_DIR}/${name} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
    endforeach()
    foreach(row "quits|x.mp4|stopped taking frames, and ended with exit status 0"
            "lying|x.mp4|x.mp4: ffmpeg reported success, but the video it wrote does not read back whole \\(0 of 6"
            "cut|x.webm|x.webm: ffmpeg reported success, but the video it wrote does not read back"
            "cut|x.mp4|x.mp4: ffmpeg reported success")
        string(REPLACE "|" ";" row "${row}")
        list(POP_FRONT row stand_in name expected)
        run_tool(1 render ${clip} --ffmpeg ./${stand_in} --output ${name})
        expect_match("${err}" "${expected}")
    endforeach()
    # A GIF keeps no rate above 50 frames/s; a failed one leaves no palette.
    run_tool(2 render ${clip} --fps 60 --output x.gif)
    expect_match("${err}" "a GIF plays at most 50 frames/s .*: 60\n")
    run_tool(1 render ${clip} --ffmpeg ./quits --output x.gif)
    # Hidden files are the run's own, made exclusively: a link in the old
    # hidden name is left alone, as are other outputs' files and links; a
    # killed run's leftover of the output is removed, but not one of a live
    # process (a run that has made its file and not yet locked it).
    file(WRITE ${WORK_DIR}/mine "precious")
    foreach(name .clip.mp4.new .clip.mp4.7.new .pic.png.new .pic.png.7.new .other.mp4.7.new)
        file(CREATE_LINK mine ${WORK_DIR}/${name} SYMBOLIC)
    endforeach()
    file(WRITE ${WORK_DIR}/.clip.mp4.99999999.new "a killed run's")
    file(WRITE ${WORK_DIR}/.clip.mp4.1.new "a live run's")
    file(WRITE ${WORK_DIR}/.clip.mp4.99999998.palette "a killed run's")
    file(WRITE ${WORK_DIR}/.pic.png.99999999.new "a killed run's")
    # Two renders of one clip at once, each with its own hidden file; a name
    # of 255 bytes, the most a folder takes.
    set(names clip.mp4 pic.png)
    string(REPEAT "n" 251 long)
    execute_process(COMMAND ${TOOL} render ${clip} --output clip.mp4
                    COMMAND ${TOOL} render ${clip} --start-ms 5000 --output clip.mp4
                    COMMAND ${TOOL} render ${clip} --output ${long}.gif
                    WORKING_DIRECTORY ${WORK_DIR} RESULTS_VARIABLE codes ERROR_VARIABLE together)
    run_tool(0 render --time-ms 0 --size 64x48 --root ${SOURCE_DIR} --output pic.png)
    execute_process(COMMAND ffmpeg -v error -xerror -i clip.mp4 -f null -
                    WORKING_DIRECTORY ${WORK_DIR} RESULT_VARIABLE broken ERROR_VARIABLE log)
    file(READ ${WORK_DIR}/mine kept)
    if(NOT codes STREQUAL "0;0;0" OR broken OR NOT kept STREQUAL "precious"
       OR IS_SYMLINK ${WORK_DIR}/clip.mp4)
        message(FATAL_ERROR "exits ${codes}, clip.mp4 ${log}, the linked file holds ${kept}:\n${together}")
    endif()
    expect_files(.clip.mp4.1.new .clip.mp4.7.new .clip.mp4.new .other.mp4.7.new .pic.png.7.new .pic.png.new
                 clip.mp4 cut deaf lying mine ${long}.gif pic.png quits recording)
    # Out of memory for the frame buffers: a message, no ffmpeg left running,
    # nothing written. (The address sanitizer's shadow memory takes no limit.)
    if(NOT DEFINED ENV{ASAN_OPTIONS})
        set(tool ${TOOL})
        set(TOOL prlimit --as=1000000000 ${TOOL})
        run_tool(1 render --frames 2 --size 8192x8192 --samples 1 --root ${SOURCE_DIR} --ffmpeg ./recording
                 --output big.mp4)
        expect_match("${err}" "no memory for the frame buffers of 8192x8192 frames")
        set(TOOL ${tool})
    endif()
    # Stopped by a signal sent to the tool alone: ffmpeg is stopped with it,
    # killed when deaf to SIGTERM, and the hidden file removed.
    foreach(row "deaf|INT|130" "recording|HUP|129")
        string(REPLACE "|" ";" row "${row}")
        list(POP_FRONT row stand_in signal status)
        execute_process(COMMAND timeout --foreground -k 20 -s ${signal} 3 ${TOOL} render
                                --frames 100000 --size 320x240 --root ${SOURCE_DIR}
                                --ffmpeg ./${stand_in} --output stopped.mp4
                        WORKING_DIRECTORY ${WORK_DIR} RESULT_VARIABLE exit_code ERROR_VARIABLE err)
        file(STRINGS ${WORK_DIR}/${stand_in}.pid pid LIMIT_COUNT 1)
        file(REMOVE ${WORK_DIR}/${stand_in}.pid)
        execute_process(COMMAND kill -KILL ${pid} RESULT_VARIABLE lived ERROR_QUIET)
        if(NOT exit_code EQUAL 124 OR NOT lived OR NOT err MATCHES "interrupted; no video")
            message(FATAL_ERROR "SIG${signal}: exit ${exit_code}, ffmpeg lived on (${lived}):\n${err}")
        endif()
    endforeach()
    expect_files(.clip.mp4.1.new .clip.mp4.7.new .clip.mp4.new .other.mp4.7.new .pic.png.7.new .pic.png.new
                 clip.mp4 cut deaf lying mine ${long}.gif pic.png quits recording)

elseif(CASE STREQUAL "bench")
    # Counts only, never timings: they must hold on any machine. Without
    # --backend the fast backend draws (Mesa's software GL has shaders).
    foreach(backend fast exact)
        string(REPLACE "--backend;fast" "" choice "--backend;${backend}")
        run_tool(0 bench --frames 8 --size 160x120 --root ${SOURCE_DIR} ${choice} --json)
        string(REPLACE "\n" "" out "${out}")
        expect_json(0 backend ${backend} frames 8 width 160 depth 2 heapAllocationsPerFrame 0
                    arenaOverflowFrames 0 unmendedFrames 0)
        expect_match("${out}" "\"views\": {[^}]*\"max\": ([2-9]|[1-9][0-9])")
        expect_match("${out}" "\"arenaPeak\": {\"polygons\": [1-9]")
        expect_match("${out}" "\"traversalMs\": {\"median\": [0-9]")
    endforeach()

else()
    message(FATAL_ERROR "unknown case ${CASE}")
endif()
