# tessark_add_resources(TARGET script.rc [INCLUDE dir ...] [DEPENDS file ...])
# Compiles a resource script with tessark-rc and links the resulting table into TARGET.
# Headers and data files the script names are tracked by a dependency file; DEPENDS adds
# generated inputs (images and sounds made by the build) so they are produced first.
function(tessark_add_resources target script)
    cmake_parse_arguments(ARG "" "" "INCLUDE;DEPENDS" ${ARGN})
    get_filename_component(script_path ${script} ABSOLUTE)
    set(output ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.cpp)
    set(depfile ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.d)
    set(includes)
    foreach(dir ${ARG_INCLUDE})
        get_filename_component(dir ${dir} ABSOLUTE)
        list(APPEND includes -I ${dir})
    endforeach()
    add_custom_command(
        OUTPUT ${output}
        COMMAND tessark-rc ${includes} -d ${depfile} -o ${output} ${script_path}
        DEPENDS tessark-rc ${script_path} ${ARG_DEPENDS}
        DEPFILE ${depfile}
        COMMENT "Compiling resources ${script}"
        VERBATIM)
    target_sources(${target} PRIVATE ${output})
endfunction()
