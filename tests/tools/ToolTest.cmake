file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

# Runs a command in the work folder; EXPECT is 0 for success or NONZERO.
function(run EXPECT OUT)
    execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${WORK_DIR} RESULT_VARIABLE result
                    OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(EXPECT STREQUAL "0" AND NOT result EQUAL 0)
        message(FATAL_ERROR "failed (${result}): ${ARGN}\n${out}\n${err}")
    endif()
    if(EXPECT STREQUAL "NONZERO" AND result EQUAL 0)
        message(FATAL_ERROR "expected a failure: ${ARGN}\n${out}\n${err}")
    endif()
    set(${OUT} "${out}${err}" PARENT_SCOPE)
endfunction()

# soxi -b (bits) and -c (channels) of a file must equal what is expected.
function(expect_format FILE BITS CHANNELS)
    run(0 bits ${SOXI} -b ${WORK_DIR}/${FILE})
    run(0 channels ${SOXI} -c ${WORK_DIR}/${FILE})
    string(STRIP "${bits}" bits)
    string(STRIP "${channels}" channels)
    if(NOT bits STREQUAL BITS OR NOT channels STREQUAL CHANNELS)
        message(FATAL_ERROR "${FILE}: sox sees ${bits} bits, ${channels} channels; "
                            "expected ${BITS} bits, ${CHANNELS} channels")
    endif()
endfunction()

# The demo's table and its files agree with what sox reads.
run(0 table ${SONVERA} demo)
foreach(row "tone-8bit-stereo.wav;8;2" "tone-16bit-stereo.wav;16;2" "tone-24bit-stereo.wav;24;2"
            "tone-32bit-stereo.wav;32;2" "tone-24bit-5.1.wav;24;6"
            "tone-16bit-stereo-gain.wav;16;2")
    list(GET row 0 file)
    list(GET row 1 bits)
    list(GET row 2 channels)
    string(REGEX MATCH "${file} +${bits} +${channels} " printed "${table}")
    if(NOT printed)
        message(FATAL_ERROR "demo table lacks ${file} with ${bits} bits, ${channels} channels:\n${table}")
    endif()
    expect_format(sonvera-out/${file} ${bits} ${channels})
endforeach()

# Conversion with the library's own operations.
run(0 out ${SONVERA} convert sonvera-out/tone-16bit-stereo.wav wide.wav --bits 24 --layout 7.1
    --gain 0.5)
expect_format(wide.wav 24 8)
run(0 out ${SONVERA} convert wide.wav narrow.wav --bits 8 --layout mono)
expect_format(narrow.wav 8 1)

# A file without frames is a file like any other: it converts to one without frames.
run(0 out ${SOX} -n -r 8000 -b 16 -c 2 ${WORK_DIR}/empty.wav trim 0 0)
run(0 out ${SONVERA} convert empty.wav empty-24.wav --bits 24)
expect_format(empty-24.wav 24 2)
run(0 frames ${SOXI} -s ${WORK_DIR}/empty-24.wav)
string(STRIP "${frames}" frames)
if(NOT frames STREQUAL "0")
    message(FATAL_ERROR "empty-24.wav: sox sees ${frames} frames, expected 0")
endif()

# Bad input: one line on stderr, non-zero exit, nothing written.
file(WRITE ${WORK_DIR}/not-a-wave.wav "plain text, not audio\n")
run(0 out ${SOX} -n -b 32 -e floating-point ${WORK_DIR}/float.wav synth 0.1 sine 440)
foreach(input missing.wav not-a-wave.wav float.wav)
    run(NONZERO message ${SONVERA} convert ${input} out.wav)
    string(STRIP "${message}" message)
    if(NOT message MATCHES "^sonvera: [^\n]+$")
        message(FATAL_ERROR "${input}: expected one error line, got:\n${message}")
    endif()
    if(EXISTS ${WORK_DIR}/out.wav)
        message(FATAL_ERROR "${input}: an output file was written")
    endif()
endforeach()
run(NONZERO message ${SONVERA} convert wide.wav out.wav --bits 12)
run(NONZERO message ${SONVERA} convert wide.wav out.wav --layout quad)
if(EXISTS ${WORK_DIR}/out.wav)
    message(FATAL_ERROR "a refused option still wrote a file")
endif()
