# The setup program's skin and images (tools/skingen) and the resource script that carries
# them: "ZIP" 800, GRAPHIC 501-503, ICON 500.
#
#   tessark_add_setup_resources(TARGET)   links them into TARGET
set(TESSARK_SKIN_FILES
    ${TESSARK_ASSET_DIR}/skin.zip
    ${TESSARK_ASSET_DIR}/setup_500.ico
    ${TESSARK_ASSET_DIR}/setup_501.psp
    ${TESSARK_ASSET_DIR}/setup_502.psp
    ${TESSARK_ASSET_DIR}/setup_503.psp)

function(tessark_add_setup_resources target)
    tessark_add_resources(${target} ${CMAKE_SOURCE_DIR}/tools/skingen/setup_skin.rc
        INCLUDE ${TESSARK_ASSET_DIR}
        DEPENDS ${TESSARK_SKIN_FILES})
    add_dependencies(${target} tessark_skin)
endfunction()
