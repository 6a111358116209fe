# Embeds the design-time images of resources/ into the library: every PNG becomes a byte array
# in a generated source, registered as a resource named after the file (the class name in upper
# case), so that the library reads no file at run time.
#
#   sonvera_embed_resources(OUTPUT)   adds the rule that writes the source OUTPUT
#   cmake -DDIR=... -DOUTPUT=... -P SonveraResources.cmake   writes it

if(CMAKE_SCRIPT_MODE_FILE)
    file(GLOB images "${DIR}/*.png")
    list(SORT images)
    set(arrays "")
    set(entries "")
    set(index 0)
    foreach(image IN LISTS images)
        get_filename_component(name "${image}" NAME_WE)
        file(READ "${image}" hex HEX)
        string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
        string(APPEND arrays "constexpr uint8_t KImage${index}[] = {${bytes}};\n")
        string(APPEND entries "    {\"${name}\", KImage${index}},\n")
        math(EXPR index "${index} + 1")
    endforeach()
    file(WRITE "${OUTPUT}"
         "// Generated from resources/ by cmake/SonveraResources.cmake.\n"
         "#include \"sonvera/platform/runtime/Resources.h\"\n\n"
         "namespace sonvera {\nnamespace {\n\n${arrays}\n"
         "constexpr TResource KResources[] = {\n${entries}};\n\n"
         "const TResourceModule GSonveraBasicResources(KResources);\n\n"
         "} // namespace\n} // namespace sonvera\n")
    return()
endif()

function(sonvera_embed_resources OUTPUT)
    set(dir "${PROJECT_SOURCE_DIR}/resources")
    file(GLOB images CONFIGURE_DEPENDS "${dir}/*.png")
    add_custom_command(OUTPUT "${OUTPUT}"
                       COMMAND ${CMAKE_COMMAND} "-DDIR=${dir}" "-DOUTPUT=${OUTPUT}"
                               -P "${CMAKE_CURRENT_FUNCTION_LIST_FILE}"
                       DEPENDS ${images} "${CMAKE_CURRENT_FUNCTION_LIST_FILE}"
                       COMMENT "Embedding the design-time images"
                       VERBATIM)
endfunction()
