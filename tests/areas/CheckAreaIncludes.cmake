# Fails with the list of includes that cross into an area the including area does not declare:
# public headers (<sonvera/...> or "sonvera/..."), and quoted includes of another folder's
# headers (a relative one as the header it reaches). An area's private headers under src/
# belong to it alone; the level machinery of src/internal/ to the areas that declare KERNELS;
# test helpers under tests/ follow the public rule.
cmake_minimum_required(VERSION 3.25)
include(${AREA_MAP})
set(area_dirs)
foreach(area IN LISTS SONVERA_AREAS)
    list(APPEND area_dirs ${SONVERA_DIR_${area}})
endforeach()

set(violations)
foreach(area IN LISTS SONVERA_AREAS)
    set(dir ${SONVERA_DIR_${area}})
    file(GLOB_RECURSE files ${ROOT}/src/${dir}/* ${ROOT}/include/sonvera/${dir}/*
                            ${ROOT}/tests/${dir}/*)
    foreach(file IN LISTS files)
        if(NOT file MATCHES "\\.(h|hpp|cpp|cc)$")
            continue()
        endif()
        file(RELATIVE_PATH shown ${ROOT} ${file})
        file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<][^\">]*/[^\">]*[\">]")
        foreach(line IN LISTS includes)
            string(REGEX REPLACE "^[^\"<]*([\"<])([^\">]*)[\">].*$" "\\1;\\2" parts "${line}")
            list(GET parts 0 quote)
            list(GET parts 1 header)
            if(quote STREQUAL "\"" AND header MATCHES "^\\.\\.?/")
                # A relative include is checked as the header it reaches.
                get_filename_component(file_dir ${file} DIRECTORY)
                get_filename_component(reached "${file_dir}/${header}" ABSOLUTE)
                file(RELATIVE_PATH reached ${ROOT} ${reached})
                if(reached MATCHES "^include/(sonvera/.*)$")
                    set(header ${CMAKE_MATCH_1})
                elseif(reached MATCHES "^(src|tests)/(.*)$")
                    set(header ${CMAKE_MATCH_2})
                endif()
            endif()
            if(header MATCHES "^sonvera/")
                string(REGEX REPLACE "^sonvera/" "" public ${header})
                get_filename_component(header_dir ${public} DIRECTORY)
                # Headers outside every area (the umbrella header) are not checked here.
                if(header_dir IN_LIST area_dirs AND NOT header_dir IN_LIST SONVERA_ALLOWED_${area})
                    list(APPEND violations "${shown} (${area}) includes sonvera/${public}")
                endif()
                continue()
            endif()
            if(NOT quote STREQUAL "\"")
                continue() # a system or outside library's header
            endif()
            get_filename_component(header_dir ${header} DIRECTORY)
            if(EXISTS ${ROOT}/src/${header})
                if(header_dir STREQUAL "internal")
                    if(NOT "internal" IN_LIST SONVERA_ALLOWED_${area})
                        list(APPEND violations
                             "${shown} (${area}) includes src/${header} without KERNELS")
                    endif()
                elseif(NOT header_dir STREQUAL dir)
                    list(APPEND violations
                         "${shown} (${area}) includes src/${header}, private to ${header_dir}")
                endif()
            elseif(EXISTS ${ROOT}/tests/${header} AND header_dir IN_LIST area_dirs
                   AND NOT header_dir IN_LIST SONVERA_ALLOWED_${area})
                list(APPEND violations "${shown} (${area}) includes tests/${header}")
            endif()
        endforeach()
    endforeach()
endforeach()

if(violations)
    list(JOIN violations "\n  " text)
    message(FATAL_ERROR "Includes across undeclared area dependencies:\n  ${text}")
endif()
