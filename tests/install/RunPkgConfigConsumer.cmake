# Installs the library into a scratch prefix, moved elsewhere afterwards, and builds the outside
# program as a plain Makefile would: the compiler with pkg-config's flags for sonvera-codecs,
# which brings sonvera-core with it.
file(REMOVE_RECURSE ${WORK_DIR})
set(installed ${WORK_DIR}/installed)
set(moved ${WORK_DIR}/moved)

function(run OUT)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "failed: ${ARGN}\n${out}\n${err}")
    endif()
    set(${OUT} "${out}" PARENT_SCOPE)
endfunction()

run(out ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${installed})
file(RENAME ${installed} ${moved})
file(GLOB_RECURSE pc_files ${moved}/*/sonvera-core.pc)
list(GET pc_files 0 pc_file)
get_filename_component(pc_dir ${pc_file} DIRECTORY)
set(ENV{PKG_CONFIG_PATH} ${pc_dir})
run(version pkg-config --modversion sonvera-core)
if(NOT version STREQUAL VERSION)
    message(FATAL_ERROR "pkg-config reports version '${version}', the library is ${VERSION}")
endif()
run(cflags pkg-config --cflags sonvera-codecs)
run(libs pkg-config --libs sonvera-codecs)
run(libdir pkg-config --variable=libdir sonvera-core)
separate_arguments(flags UNIX_COMMAND "${CXX_FLAGS} ${cflags} ${libs}")
run(out ${CXX} -std=c++20 ${SOURCE_DIR}/main.cpp ${flags} -Wl,-rpath,${libdir}
    -o ${WORK_DIR}/consumer)
run(out ${WORK_DIR}/consumer)
