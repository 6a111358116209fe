# Each area of the library is an OBJECT library. The shared library sonvera_core is made of
# all of them; a test executable links only the areas it needs (its own and what they stand
# on), so an area can be built and tested without the rest of the library.

add_library(sonvera_options INTERFACE)
target_compile_features(sonvera_options INTERFACE cxx_std_20)
target_compile_options(sonvera_options INTERFACE -Wall -Wextra -Wpedantic
                       $<$<BOOL:${SONVERA_WERROR}>:-Werror>)
# clang leaves sized deallocation off by default; the allocator gives blocks back by size. Code
# shared by both compilers may silence a warning that only g++ has; g++ still checks the names.
target_compile_options(sonvera_options INTERFACE
                       "$<$<CXX_COMPILER_ID:Clang>:-fsized-deallocation;-Wno-unknown-warning-option>")
target_include_directories(sonvera_options INTERFACE
                           $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>)

# sonvera_area(NAME [KERNELS] SOURCES ... [DEPENDS area ...] [LIBRARIES lib ...])
# KERNELS marks an area that compiles loops per instruction-set level: it (and its tests) may
# include the level machinery of src/internal/, which no other area sees.
function(sonvera_area NAME)
    cmake_parse_arguments(A "KERNELS" "" "SOURCES;DEPENDS;LIBRARIES" ${ARGN})
    add_library(sonvera_${NAME} OBJECT ${A_SOURCES})
    set(deps)
    foreach(dep IN LISTS A_DEPENDS)
        list(APPEND deps sonvera_${dep})
    endforeach()
    target_link_libraries(sonvera_${NAME} PUBLIC sonvera_options ${deps} ${A_LIBRARIES})
    target_include_directories(sonvera_${NAME} PRIVATE ${PROJECT_SOURCE_DIR}/src)
    file(RELATIVE_PATH dir ${PROJECT_SOURCE_DIR}/src ${CMAKE_CURRENT_SOURCE_DIR})
    set_target_properties(sonvera_${NAME} PROPERTIES POSITION_INDEPENDENT_CODE ON
                          SONVERA_DEPENDS "${A_DEPENDS}" SONVERA_DIR "${dir}"
                          SONVERA_KERNELS "${A_KERNELS}")
    set_property(GLOBAL APPEND PROPERTY SONVERA_AREAS ${NAME})
endfunction()

# Collects into OUT the object-library targets of AREA and of every area it stands on.
function(sonvera_area_closure OUT)
    set(pending ${ARGN})
    set(seen)
    while(pending)
        list(POP_FRONT pending area)
        if(NOT area IN_LIST seen)
            list(APPEND seen ${area})
            get_target_property(deps sonvera_${area} SONVERA_DEPENDS)
            if(deps)
                list(APPEND pending ${deps})
            endif()
        endif()
    endwhile()
    list(TRANSFORM seen PREPEND sonvera_)
    set(${OUT} ${seen} PARENT_SCOPE)
endfunction()

# sonvera_test(NAME [THREADS] SOURCES ... AREAS area ... [LIBRARIES lib ...])
# One GoogleTest executable, registered with CTest. THREADS marks an executable with tests that
# start threads or share objects between threads: its tests get the CTest label "threads", and
# the target sonvera_threaded_tests builds it, for the ThreadSanitizer run.
function(sonvera_test NAME)
    cmake_parse_arguments(A "THREADS" "" "SOURCES;AREAS;LIBRARIES" ${ARGN})
    sonvera_area_closure(areas ${A_AREAS})
    add_executable(${NAME} ${A_SOURCES})
    target_link_libraries(${NAME} PRIVATE ${areas} ${A_LIBRARIES} GTest::gtest GTest::gmock
                          GTest::gtest_main)
    set(properties TIMEOUT 300)
    if(A_THREADS)
        list(APPEND properties LABELS threads)
        add_dependencies(sonvera_threaded_tests ${NAME})
    endif()
    gtest_discover_tests(${NAME} DISCOVERY_TIMEOUT 60 PROPERTIES ${properties})
endfunction()

# Writes to FILE, for every area, its folder, the folders of the areas it may include (its own
# and those it stands on) and whether it may include src/internal/, for the include check of
# tests/areas.
function(sonvera_write_area_map FILE)
    get_property(all GLOBAL PROPERTY SONVERA_AREAS)
    set(text "set(SONVERA_AREAS ${all})\n")
    foreach(area IN LISTS all)
        get_target_property(dir sonvera_${area} SONVERA_DIR)
        sonvera_area_closure(closure ${area})
        set(dirs)
        foreach(target IN LISTS closure)
            get_target_property(d ${target} SONVERA_DIR)
            list(APPEND dirs ${d})
        endforeach()
        get_target_property(kernels sonvera_${area} SONVERA_KERNELS)
        if(kernels)
            list(APPEND dirs internal)
        endif()
        string(APPEND text "set(SONVERA_DIR_${area} ${dir})\nset(SONVERA_ALLOWED_${area} ${dirs})\n")
    endforeach()
    file(WRITE ${FILE} "${text}")
endfunction()
