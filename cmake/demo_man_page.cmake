# glasswake(6), made by help2man from the demo's --help, so it lists exactly
# the options and keys the program takes, and from app/sdl/man/glasswake.h2m
# for what --help leaves out (files, environment, exit status). Gzipped for
# installing. Inputs: DEMO, INCLUDE, OUT (the .6.gz), DATE_EPOCH (the date).
find_program(help2man help2man REQUIRED)
set(ENV{SOURCE_DATE_EPOCH} ${DATE_EPOCH})
execute_process(
    COMMAND ${help2man} --no-info --section=6 --manual Games --include=${INCLUDE}
            "--name=real-time demo of crystals that mirror and refract their surroundings"
            ${DEMO}
    OUTPUT_VARIABLE text RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "help2man could not make glasswake(6)")
endif()
# The keys get a section of their own rather than a place among the options.
string(REGEX REPLACE "\n\\.SS \"Keys and mouse[^\"]*\"\n" "\n.SH \"KEYS AND MOUSE\"\n" text
                     "${text}")
if(NOT text MATCHES "\n\\.SH OPTIONS\n.*\n\\.SH \"KEYS AND MOUSE\"\n")
    message(FATAL_ERROR "glasswake --help has no Options: or no keys for glasswake(6)")
endif()
# Where help2man reads --help's words too eagerly: the switches are literal,
# not an option and its value; Y,P,D is one value; (-10 to 80) is a number.
string(REPLACE "[\\fI\\,-fullscreen | -fullscreen=0\\/\\fR]"
               "[\\fB\\-fullscreen\\fR | \\fB\\-fullscreen=0\\fR]" text "${text}")
string(REGEX REPLACE "\\\\fR=\\\\fI\\\\,([0-9]+)\\\\/\\\\fR" "=\\1\\\\fR" text "${text}")
string(REGEX REPLACE "\\\\fI\\\\,([A-Z])\\\\/\\\\fR((,[A-Z])+)" "\\\\fI\\\\,\\1\\2\\\\/\\\\fR" text
                     "${text}")
string(REGEX REPLACE "\\(\\\\fB\\\\-([0-9]+)\\\\fR" "(\\\\-\\1" text "${text}")
get_filename_component(page ${OUT} NAME_WLE)
get_filename_component(dir ${OUT} DIRECTORY)
file(WRITE ${dir}/${page} "${text}")
execute_process(COMMAND gzip -9nf ${dir}/${page})
