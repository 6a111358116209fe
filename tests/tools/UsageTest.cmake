# What a new user meets first: every command's help, the version, units in values, summaries
# that name the output's own codec, widths that round-trip bit for bit and match ffmpeg's, and
# refusals that name the real cause in one line and leave no file.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

# Runs a command in the work folder; EXPECT is 0 or NONZERO; OUT gets stdout and stderr.
function(run EXPECT OUT)
    execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${WORK_DIR} RESULT_VARIABLE result
                    OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if((EXPECT STREQUAL "0" AND NOT result EQUAL 0) OR (EXPECT STREQUAL "NONZERO" AND result EQUAL 0))
        message(FATAL_ERROR "exit ${result}, expected ${EXPECT}: ${ARGN}\n${out}\n${err}")
    endif()
    set(${OUT} "${out}${err}" PARENT_SCOPE)
endfunction()

function(expect TEXT PATTERN)
    if(NOT "${TEXT}" MATCHES "${PATTERN}")
        message(FATAL_ERROR "expected /${PATTERN}/ in:\n${TEXT}")
    endif()
endfunction()

# The sample bytes of a file of pcm_s16le/pcm_s24le/pcm_s32le audio, as ffmpeg reads them.
function(expect_same_data A B RAW)
    foreach(file ${A} ${B})
        run(0 out ${FFMPEG} -v error -y -i ${file} -f ${RAW} -c:a copy ${file}.raw)
    endforeach()
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK_DIR}/${A}.raw
                            ${WORK_DIR}/${B}.raw RESULT_VARIABLE different)
    if(different)
        message(FATAL_ERROR "${A} and ${B} hold different samples")
    endif()
endfunction()

# --- Help, version, catalogs. ---
foreach(command convert codecs formats probe demo info run)
    run(0 help ${SONVERA} ${command} --help)
    expect("${help}" "^usage: sonvera ${command}")
endforeach()
expect("${help}" "\n--verbose names") # run's own help, past its usage lines
run(0 version ${SONVERA} --version)
expect("${version}" "^sonvera [0-9]+\\.[0-9]+\\.[0-9]+ .*FFmpeg")
run(0 formats ${SONVERA} formats --audio)
expect("${formats}" "\nwav +wav ")
if(formats MATCHES "\nimage2 ")
    message(FATAL_ERROR "formats --audio lists a container without audio")
endif()

# --- Widths: full-scale noise with both extremes, widened and narrowed back bit for bit; the
# widened file holds the bytes ffmpeg writes. ---
run(0 out ${SOX} -n -r 44100 -b 16 -c 2 ${WORK_DIR}/a16.wav synth 1 whitenoise gain 6)
foreach(wide "24;s24le" "32;s32le")
    list(GET wide 0 bits)
    list(GET wide 1 raw)
    run(0 out ${SONVERA} convert a16.wav b${bits}.wav --bits ${bits})
    expect("${out}" "pcm_s${bits}le 44100 Hz ${bits}-bit 2 ch")
    run(0 out ${SONVERA} convert b${bits}.wav c${bits}.wav --bits 16)
    expect_same_data(a16.wav c${bits}.wav s16le)
    run(0 out ${FFMPEG} -v error -y -i a16.wav -c:a pcm_${raw} f${bits}.wav)
    expect_same_data(b${bits}.wav f${bits}.wav ${raw})
endforeach()

# --- Units, and a lossy summary that claims no width. ---
run(0 out ${SONVERA} convert a16.wav u.mp3 --bitrate 64k --rate 48kHz --gain -6dB)
expect("${out}" "u.mp3: [0-9]+ frames, [0-9:.]+, libmp3lame 48000 Hz 2 ch,")

# --- Refusals: one line naming the cause, a non-zero exit, no file. ---
run(0 out ${SOX} -n -r 546338 -b 8 -c 1 ${WORK_DIR}/odd-rate.wav synth 0.01 sine 1000)
run(0 out ${SOX} -n -r 8000 -b 16 -c 32 ${WORK_DIR}/c32.wav synth 0.05 sine 440)
run(0 out ${SONVERA} convert c32.wav c32-copy.wav)
expect("${out}" " 32 ch,")
foreach(case "a16.wav;e.wav;--codec;libopus|codec 'libopus' cannot be stored in 'wav'"
             "odd-rate.wav;e.flac|codec 'flac' cannot take 546338 Hz"
             "c32.wav;e.mp3|codec 'libmp3lame' cannot take 32 channels \\(at most 2\\)"
             "a16.wav;e.wav;--rate;48q|--rate: cannot read '48q'"
             "a16.wav;e.mp3;--bitrate;1.5|--bitrate must be a whole number"
             "a16.wav;e.wav;--gain;500dB|--gain must lie from -200 to 200 dB, not '500dB'")
    string(REPLACE "|" ";" parts "${case}")
    list(POP_BACK parts pattern)
    run(NONZERO message ${SONVERA} convert ${parts})
    expect("${message}" "^sonvera: [^\n]*${pattern}[^\n]*\n$")
    file(GLOB left ${WORK_DIR}/e.* ${WORK_DIR}/.e.*)
    if(left)
        message(FATAL_ERROR "${case} left ${left}")
    endif()
endforeach()

# --- One damaged frame header 90 % into an MP3 (it now claims 48 kHz): the conversion follows
# it to the end and keeps at least what ffmpeg keeps; --strict refuses it. ---
run(0 out ${SONVERA} convert a16.wav whole.mp3 --quiet)
foreach(i RANGE 9)
    file(APPEND ${WORK_DIR}/long.list "file 'whole.mp3'\n")
endforeach()
run(0 out ${FFMPEG} -v error -y -f concat -safe 0 -i long.list -c copy long.mp3)
file(SIZE ${WORK_DIR}/long.mp3 size)
math(EXPR start "${size} * 9 / 10")
file(READ ${WORK_DIR}/long.mp3 hex HEX OFFSET ${start} LIMIT 4096)
string(FIND "${hex}" "fffb" at)
math(EXPR offset "${start} + ${at} / 2 + 2")
run(0 out sh -c "cp long.mp3 damaged.mp3 && printf '\\224' | dd of=damaged.mp3 bs=1 seek=${offset} conv=notrunc")
run(0 out ${FFMPEG} -v quiet -y -i damaged.mp3 by-ffmpeg.wav)
run(0 expected ${SOX} --i -s ${WORK_DIR}/by-ffmpeg.wav)
run(0 damaged ${SONVERA} convert damaged.mp3 damaged.wav)
expect("${damaged}" "format changes followed")
string(REGEX MATCH "^[^:]+: ([0-9]+) frames" ignored "${damaged}")
string(STRIP "${expected}" expected)
if(CMAKE_MATCH_1 LESS expected)
    message(FATAL_ERROR "the damaged MP3 gave ${CMAKE_MATCH_1} frames, ffmpeg ${expected}")
endif()
run(NONZERO strict ${SONVERA} convert damaged.mp3 strict.wav --strict)
expect("${strict}" "^sonvera: damaged.mp3: a (frame of 48000 Hz|damaged frame)")
