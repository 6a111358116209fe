# The fuzzing build: every object of the library carries libFuzzer's coverage hooks and both
# sanitizers, so that a target finds its way through the library's branches and any memory
# error or undefined behaviour on the way ends the run with a finding.

if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "SONVERA_FUZZ needs clang: configure with CXX=clang++")
endif()
if(SONVERA_SANITIZE)
    message(FATAL_ERROR "SONVERA_FUZZ brings its own sanitizers: leave SONVERA_SANITIZE off")
endif()

add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                    -fno-sanitize-recover=all)
add_link_options(-fsanitize=address,undefined)

# Builds every fuzz target.
add_custom_target(sonvera_fuzz)

# sonvera_fuzz_target(NAME SOURCES ... AREAS area ... [LIBRARIES lib ...]
#                     CORPUS dir [DICTIONARY file])
# One libFuzzer program over the given areas. CORPUS holds valid inputs to start from;
# DICTIONARY lists the format's keywords. Both are recorded for scripts/fuzz.sh.
function(sonvera_fuzz_target NAME)
    cmake_parse_arguments(A "" "CORPUS;DICTIONARY" "SOURCES;AREAS;LIBRARIES" ${ARGN})
    if(NOT A_CORPUS)
        message(FATAL_ERROR "fuzz target ${NAME} needs a seed CORPUS")
    endif()
    sonvera_area_closure(areas ${A_AREAS})
    add_executable(${NAME} ${A_SOURCES})
    target_link_libraries(${NAME} PRIVATE ${areas} ${A_LIBRARIES})
    target_include_directories(${NAME} PRIVATE ${PROJECT_SOURCE_DIR}/fuzz)
    target_link_options(${NAME} PRIVATE -fsanitize=fuzzer)
    set_target_properties(${NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/fuzz-bin)
    add_dependencies(sonvera_fuzz ${NAME})
    get_filename_component(corpus ${A_CORPUS} ABSOLUTE)
    set(dictionary "-")
    if(A_DICTIONARY)
        get_filename_component(dictionary ${A_DICTIONARY} ABSOLUTE)
    endif()
    set_property(GLOBAL APPEND PROPERTY SONVERA_FUZZ_MANIFEST
                 "${NAME} ${PROJECT_BINARY_DIR}/fuzz-bin/${NAME} ${corpus} ${dictionary}")
endfunction()

# Writes one line per fuzz target: name, program, seed corpus, dictionary ("-" for none).
function(sonvera_write_fuzz_manifest FILE)
    get_property(lines GLOBAL PROPERTY SONVERA_FUZZ_MANIFEST)
    list(JOIN lines "\n" text)
    file(WRITE ${FILE} "${text}\n")
endfunction()
