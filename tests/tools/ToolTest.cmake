# The sonvera tool end to end on files that sox makes: what it writes must read back in sox
# (and in its own file source) with the format asked for, lossless paths must keep every
# sample, resampling must keep a tone, and every failure must leave one error line, a non-zero
# exit and no file behind.
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
    set(${OUT}_ERR "${err}" PARENT_SCOPE)
endfunction()

function(soxi_value FILE FLAG OUT)
    run(0 value ${SOXI} ${FLAG} ${WORK_DIR}/${FILE})
    string(STRIP "${value}" value)
    set(${OUT} "${value}" PARENT_SCOPE)
endfunction()

# sox must see BITS bits and CHANNELS channels (and RATE Hz when given).
function(expect_format FILE BITS CHANNELS)
    soxi_value(${FILE} -b bits)
    soxi_value(${FILE} -c channels)
    soxi_value(${FILE} -r rate)
    if(NOT bits STREQUAL BITS OR NOT channels STREQUAL CHANNELS OR (ARGC GREATER 3 AND NOT rate STREQUAL ARGV3))
        message(FATAL_ERROR "${FILE}: sox sees ${bits} bits, ${channels} channels, ${rate} Hz; "
                            "expected ${BITS} bits, ${CHANNELS} channels ${ARGV3}")
    endif()
endfunction()

# The decoded samples of two files (as sox reads them, 32-bit) must be equal.
function(expect_same_samples A B)
    run(0 out ${SOX} ${WORK_DIR}/${A} -b 32 -e signed -t raw ${WORK_DIR}/a.raw)
    run(0 out ${SOX} ${WORK_DIR}/${B} -b 32 -e signed -t raw ${WORK_DIR}/b.raw)
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK_DIR}/a.raw ${WORK_DIR}/b.raw
                    RESULT_VARIABLE different)
    if(different)
        message(FATAL_ERROR "${A} and ${B} hold different samples")
    endif()
endfunction()

# A decimal as an integer count of millionths.
function(to_millionths TEXT OUT)
    string(REGEX MATCH "([0-9]+)\\.?([0-9]*)" number "${TEXT}")
    string(SUBSTRING "${CMAKE_MATCH_2}000000" 0 6 fraction)
    math(EXPR value "${CMAKE_MATCH_1} * 1000000 + 1${fraction} - 1000000")
    set(${OUT} ${value} PARENT_SCOPE)
endfunction()

# sox's RMS amplitude (millionths of full scale) and rough frequency of a file.
function(measure FILE RMS FREQUENCY)
    run(0 stat ${SOX} ${WORK_DIR}/${FILE} -n stat)
    string(REGEX MATCH "RMS +amplitude: +([0-9.]+)" ignored "${stat}")
    to_millionths(${CMAKE_MATCH_1} rms)
    string(REGEX MATCH "Rough +frequency: +([0-9]+)" ignored "${stat}")
    set(${RMS} ${rms} PARENT_SCOPE)
    set(${FREQUENCY} ${CMAKE_MATCH_1} PARENT_SCOPE)
endfunction()

function(expect_no_output NAME)
    file(GLOB left ${WORK_DIR}/${NAME} ${WORK_DIR}/.*part-*)
    if(left)
        message(FATAL_ERROR "a failed conversion left files behind: ${left}")
    endif()
endfunction()

# --- The demo: a generator chain into WAV and FLAC, the FLAC converted back. ---
run(0 table ${SONVERA} demo)
foreach(file tone-24bit.wav tone-24bit.flac tone-from-flac.wav)
    if(NOT table MATCHES "${file} +[a-z0-9_]+ +24 +2 +44100 +88200 +-12\\.0")
        message(FATAL_ERROR "demo table lacks ${file} as 24-bit stereo at -12 dB:\n${table}")
    endif()
    expect_format(sonvera-out/${file} 24 2 44100)
endforeach()
expect_same_samples(sonvera-out/tone-24bit.wav sonvera-out/tone-from-flac.wav)

# --- Every width with every layout through WAV; the input's own format keeps every sample. ---
run(0 out ${SOX} -n -r 44100 -b 16 -c 2 ${WORK_DIR}/src.wav synth 0.05 sine 440 sine 660 gain -3)
foreach(bits 8 16 24 32)
    foreach(layout "mono;1" "stereo;2" "5.1;6" "7.1;8")
        list(GET layout 0 name)
        list(GET layout 1 channels)
        run(0 out ${SONVERA} convert src.wav w${bits}-${name}.wav --bits ${bits} --layout ${name})
        expect_format(w${bits}-${name}.wav ${bits} ${channels} 44100)
    endforeach()
endforeach()
expect_same_samples(src.wav w16-stereo.wav)

# --- FLAC is lossless both ways, at the input's own 24 bits. ---
run(0 out ${SOX} -n -r 48000 -b 24 -c 2 ${WORK_DIR}/in24.flac synth 0.5 sine 1000 pinknoise gain -4)
run(0 out ${SONVERA} convert in24.flac out24.wav)
expect_format(out24.wav 24 2 48000)
expect_same_samples(in24.flac out24.wav)
run(0 out ${SONVERA} convert out24.wav again.flac)
expect_format(again.flac 24 2 48000)
expect_same_samples(in24.flac again.flac)

# --- MP3 and Opus, read back by the tool's own source. ---
run(0 out ${SOX} -n -r 44100 -b 16 -c 2 ${WORK_DIR}/src44.wav synth 0.5 sine 440 gain -6)
run(0 out ${SONVERA} convert src44.wav out.mp3 --bitrate 192000)
run(0 probe ${SONVERA} probe out.mp3)
if(NOT probe MATCHES "audio mp3, 44100 Hz, 2 channels")
    message(FATAL_ERROR "probe of out.mp3:\n${probe}")
endif()
run(0 out ${SONVERA} convert out.mp3 from-mp3.wav)
expect_format(from-mp3.wav 32 2 44100)
# Opus takes 48 kHz: the tool resamples to it by itself.
run(0 out ${SONVERA} convert src44.wav out.opus)
run(0 probe ${SONVERA} probe out.opus)
if(NOT probe MATCHES "audio opus, 48000 Hz, 2 channels")
    message(FATAL_ERROR "probe of out.opus:\n${probe}")
endif()
run(0 out ${SONVERA} convert out.opus from-opus.wav --bits 16)
expect_format(from-opus.wav 16 2 48000)

# --- 44100 -> 48000 -> 44100 keeps a tone's pitch and its level within 0.1 dB. ---
run(0 out ${SOX} -n -r 44100 -b 16 -c 1 ${WORK_DIR}/tone.wav synth 1 sine 1000 gain -6)
run(0 out ${SONVERA} convert tone.wav tone48.wav --rate 48000)
expect_format(tone48.wav 16 1 48000)
run(0 out ${SONVERA} convert tone48.wav tone44.wav --rate 44100 --quiet)
expect_format(tone44.wav 16 1 44100)
measure(tone.wav rms frequency)
foreach(file tone48.wav tone44.wav)
    measure(${file} rms2 frequency2)
    math(EXPR low "${rms} * 98855 / 100000")  # -0.1 dB
    math(EXPR high "${rms} * 101158 / 100000") # +0.1 dB
    math(EXPR pitch "${frequency2} - ${frequency}")
    if(rms2 LESS low OR rms2 GREATER high OR pitch LESS -2 OR pitch GREATER 2)
        message(FATAL_ERROR "${file}: RMS ${rms2} and ${frequency2} Hz, "
                            "the tone had RMS ${rms} and ${frequency} Hz")
    endif()
endforeach()

# --- The catalogs. ---
run(0 codecs ${SONVERA} codecs --audio --encoders)
if(NOT codecs MATCHES "audio encoder +flac " OR NOT codecs MATCHES "audio encoder +pcm_s16le "
   OR codecs MATCHES "decoder")
    message(FATAL_ERROR "codecs --audio --encoders:\n${codecs}")
endif()
run(0 formats ${SONVERA} formats)
if(NOT formats MATCHES "\nwav +wav +audio/x-wav +pcm_s16le " OR NOT formats MATCHES "\nflac +flac ")
    message(FATAL_ERROR "formats lacks wav or flac")
endif()

# --- The progress line: on a terminal, and not in a pipe, where only the summary shows. ---
run(0 piped ${SONVERA} convert src44.wav piped.wav)
if(NOT piped_ERR STREQUAL "" OR NOT piped MATCHES "piped.wav: 22050 frames, 0:00.500")
    message(FATAL_ERROR "a piped conversion printed:\n${piped}")
endif()
run(0 terminal ${SCRIPT} -qec "${SONVERA} convert src44.wav shown.wav" /dev/null)
if(NOT terminal MATCHES "%  +[0-9.]+x real time  +[0-9:.]+ left")
    message(FATAL_ERROR "no progress line on a terminal:\n${terminal}")
endif()

# --- Failures: one line on stderr, a non-zero exit, nothing written. ---
file(WRITE ${WORK_DIR}/not-audio.wav "plain text, not audio\n")
foreach(case "missing.wav;err.wav" "not-audio.wav;err.wav" "src.wav;err.xyz"
             "src.wav;err.wav;--codec;nosuch" "src.wav;err.wav;--format;nosuch"
             "in24.flac;err.wav;--codec;pcm_s16le;--bits;24" "src.wav;err.mp3;--layout;5.1"
             "src.wav;err.wav;--option;nosuch=1" "src.wav;err.wav;--bits;12")
    list(GET case 1 output)
    run(NONZERO message ${SONVERA} convert ${case})
    string(STRIP "${message}" message)
    if(NOT message MATCHES "^sonvera: [^\n]+$")
        message(FATAL_ERROR "${case}: expected one error line, got:\n${message}")
    endif()
    expect_no_output(${output})
endforeach()
# A full disk: the file may not grow past 64 KiB.
run(NONZERO message sh -c "ulimit -f 64 && exec ${SONVERA} convert in24.flac full.wav")
if(NOT message MATCHES "^sonvera: full.wav: File too large\n$")
    message(FATAL_ERROR "full disk: ${message}")
endif()
expect_no_output(full.wav)
