# The game's resources: assets/tessark.rc (strings, dialogs) and the sounds and images the
# generators write into the build tree.
#
#   tessark_add_game_resources(TARGET)   links them into TARGET
#
# TESSARK_ASSET_DIR is where the generators write; TESSARK_GAME_ASSETS lists every file the
# script takes from there, so the script is compiled after the generators have run.
set(TESSARK_ASSET_DIR ${CMAKE_BINARY_DIR}/assets)

# The pictures of tools/artgen (TESSARK_ART_FILES, ArtFiles.cmake), then the sounds.
set(TESSARK_GAME_ASSETS ${TESSARK_ART_FILES})
foreach(id RANGE 1030 1045)
    list(APPEND TESSARK_GAME_ASSETS ${TESSARK_ASSET_DIR}/wave_${id}.wav)
endforeach()
foreach(id RANGE 5001 5003)
    list(APPEND TESSARK_GAME_ASSETS ${TESSARK_ASSET_DIR}/logo_${id}.zz)
endforeach()

function(tessark_add_game_resources target)
    tessark_add_resources(${target} ${CMAKE_SOURCE_DIR}/assets/tessark.rc
        INCLUDE ${TESSARK_ASSET_DIR}
        DEPENDS ${TESSARK_GAME_ASSETS})
    add_dependencies(${target} tessark_art tessark_sounds)
endfunction()
