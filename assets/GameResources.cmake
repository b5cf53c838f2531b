# The game's resources: assets/tessark.rc (strings, dialogs) and the sounds and images the
# generators write into the build tree.
#
#   tessark_add_game_resources(TARGET)   links them into TARGET
#
# TESSARK_ASSET_DIR is where the generators write; TESSARK_GAME_ASSETS lists every file the
# script takes from there, so the script is compiled after the generators have run.
include(${CMAKE_SOURCE_DIR}/tools/rc/Resources.cmake)

set(TESSARK_ASSET_DIR ${CMAKE_BINARY_DIR}/assets)

set(TESSARK_GAME_ASSETS)
foreach(id RANGE 1030 1045)
    list(APPEND TESSARK_GAME_ASSETS ${TESSARK_ASSET_DIR}/wave_${id}.wav)
endforeach()
foreach(id RANGE 5001 5003)
    list(APPEND TESSARK_GAME_ASSETS ${TESSARK_ASSET_DIR}/logo_${id}.zz)
endforeach()
foreach(id 1012 1016 1017)
    list(APPEND TESSARK_GAME_ASSETS ${TESSARK_ASSET_DIR}/graphic_${id}.psp)
endforeach()

function(tessark_add_game_resources target)
    tessark_add_resources(${target} ${CMAKE_SOURCE_DIR}/assets/tessark.rc
        INCLUDE ${TESSARK_ASSET_DIR}
        DEPENDS ${TESSARK_GAME_ASSETS})
endfunction()
