# sonvera analyze against ffmpeg's loudness meter on files sox makes: integrated loudness within
# 0.1 LU and true peak within 0.2 dB, the text and JSON forms agreeing; the picture has the size
# asked for; errors leave one line and no picture behind.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

function(run OUT)
    execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${WORK_DIR} RESULT_VARIABLE result
                    OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "failed (${result}): ${ARGN}\n${out}\n${err}")
    endif()
    set(${OUT} "${out}${err}" PARENT_SCOPE)
endfunction()

# A decimal ("-23.04") as integer hundredths; "null" (nothing measurable) as a large negative.
function(hundredths TEXT OUT)
    if(TEXT STREQUAL "null" OR TEXT MATCHES "inf")
        set(${OUT} -100000 PARENT_SCOPE)
        return()
    endif()
    string(REGEX MATCH "^(-?)([0-9]+)\\.?([0-9]*)" ignored "${TEXT}")
    string(SUBSTRING "${CMAKE_MATCH_3}00" 0 2 fraction)
    math(EXPR value "${CMAKE_MATCH_2} * 100 + 1${fraction} - 100")
    if(CMAKE_MATCH_1)
        math(EXPR value "-${value}")
    endif()
    set(${OUT} ${value} PARENT_SCOPE)
endfunction()

function(expect_near WHAT A B TOLERANCE)
    hundredths("${A}" a)
    hundredths("${B}" b)
    math(EXPR difference "${a} - ${b}")
    if(difference GREATER TOLERANCE OR difference LESS -${TOLERANCE})
        message(FATAL_ERROR "${WHAT}: sonvera ${A}, expected ${B}")
    endif()
endfunction()

# ffmpeg's integrated loudness and true peak of FILE.
function(ffmpeg_meter FILE INTEGRATED PEAK)
    run(log ${FFMPEG} -nostats -hide_banner -i ${FILE} -af ebur128=peak=true -f null -)
    string(FIND "${log}" "Summary:" at)
    string(SUBSTRING "${log}" ${at} -1 summary)
    string(REGEX MATCH "I: +(-?[0-9.]+|-inf) LUFS" ignored "${summary}")
    set(${INTEGRATED} ${CMAKE_MATCH_1} PARENT_SCOPE)
    string(REGEX MATCH "Peak: +(-?[0-9.]+|-inf) dBFS" ignored "${summary}")
    set(${PEAK} ${CMAKE_MATCH_1} PARENT_SCOPE)
endfunction()

# NAME, then the sox arguments that make it.
set(files
    "sine-23.wav|-r 44100 -b 16 -c 2 sine-23.wav synth 8 sine 1000 vol -23dB"
    "sine-33.wav|-r 48000 -b 24 -c 2 sine-33.wav synth 8 sine 1000 vol -33dB"
    "noise.wav|-r 44100 -b 24 -c 2 noise.wav synth 8 pinknoise vol -6dB"
    "tones.flac|-r 48000 -b 16 -c 1 tones.flac synth 8 sine 3000 sine 15000 remix 1,2 vol -3dB")
foreach(entry IN LISTS files)
    string(REPLACE "|" ";" entry "${entry}")
    list(GET entry 0 name)
    list(GET entry 1 arguments)
    separate_arguments(arguments)
    run(ignored ${SOX} -R -D -n ${arguments})
    ffmpeg_meter(${name} reference_integrated reference_peak)
    run(json ${SONVERA} analyze ${name} --json)
    string(JSON integrated GET "${json}" integrated_lufs)
    string(JSON peak GET "${json}" true_peak_dbtp)
    expect_near("${name} integrated" "${integrated}" "${reference_integrated}" 10)
    expect_near("${name} true peak" "${peak}" "${reference_peak}" 20)
    run(text ${SONVERA} analyze ${name})
    string(REGEX MATCH "integrated loudness +(-?[0-9.]+) LUFS" ignored "${text}")
    expect_near("${name} text" "${CMAKE_MATCH_1}" "${integrated}" 6) # one decimal
endforeach()
# The references themselves: the sines read their level.
run(json ${SONVERA} analyze sine-23.wav --json)
string(JSON integrated GET "${json}" integrated_lufs)
expect_near("-23 dBFS sine" "${integrated}" "-23.0" 10)
run(json ${SONVERA} analyze sine-33.wav --json)
string(JSON integrated GET "${json}" integrated_lufs)
expect_near("-33 dBFS sine" "${integrated}" "-33.0" 10)

# The picture: a PNG of the size asked for (its header says so).
run(ignored ${SONVERA} analyze noise.wav --png picture.png --size 1000x600)
file(READ ${WORK_DIR}/picture.png header LIMIT 24 HEX)
if(NOT header STREQUAL "89504e470d0a1a0a0000000d49484452000003e800000258")
    message(FATAL_ERROR "picture.png is not a 1000x600 PNG: ${header}")
endif()
execute_process(COMMAND ${SONVERA} analyze missing.wav --png missing.png
                WORKING_DIRECTORY ${WORK_DIR} RESULT_VARIABLE result ERROR_VARIABLE err)
string(REGEX MATCHALL "\n" lines "${err}")
list(LENGTH lines count)
if(result EQUAL 0 OR NOT count EQUAL 1 OR EXISTS ${WORK_DIR}/missing.png)
    message(FATAL_ERROR "a missing input: exit ${result}, error '${err}'")
endif()

# Loudness normalisation to -16 LUFS of a quiet, a loud and a spiky file (short hits 20 dB over
# quiet noise, which only a limited gain can bring there), measured by ffmpeg: within 0.2 LU,
# the true peak at or under the ceiling.
run(ignored ${SOX} -R -D -n -r 44100 -b 16 -c 2 quiet.wav synth 6 pinknoise vol -34dB)
run(ignored ${SOX} -R -D -n -r 48000 -b 24 -c 2 loud.wav synth 6 pinknoise synth 6 sine mix 220 vol -3dB)
run(ignored ${SOX} -R -D -n -r 44100 -b 16 -c 2 hit.wav synth 0.004 sine 200 vol -1dB)
run(ignored ${SOX} -R -D -n -r 44100 -b 16 -c 2 gap.wav synth 0.496 pinknoise vol -26dB)
set(hits)
foreach(i RANGE 11)
    list(APPEND hits hit.wav gap.wav)
endforeach()
run(ignored ${SOX} -R ${hits} spiky.wav)
foreach(entry "quiet.wav;-1" "loud.wav;-1" "spiky.wav;-2")
    list(GET entry 0 name)
    list(GET entry 1 ceiling)
    run(ignored ${SONVERA} convert ${name} normalized-${name} --normalize -16 --true-peak ${ceiling}
        --quiet)
    ffmpeg_meter(normalized-${name} integrated peak)
    expect_near("${name} normalised" "${integrated}" "-16.0" 20)
    hundredths("${peak}" peak)
    if(peak GREATER ${ceiling}00)
        message(FATAL_ERROR "${name} normalised peaks at ${peak} hundredths of a dB")
    endif()
endforeach()
