# The game's generated pictures, known to every folder from the start of configuration so that
# a resource script's DEPENDS can name them: tessark_add_resources(... DEPENDS ${TESSARK_ART_FILES})
# together with add_dependencies(TARGET tessark_art). They are made by tools/artgen.
set(TESSARK_ART_DIR ${CMAKE_BINARY_DIR}/assets)
set(TESSARK_ART_FILES)
foreach(id 1006 1007 1008 1009 1010 1011 1012 1013 1014 1015 1016 1017 1026)
    list(APPEND TESSARK_ART_FILES ${TESSARK_ART_DIR}/graphic_${id}.psp)
endforeach()
list(APPEND TESSARK_ART_FILES ${TESSARK_ART_DIR}/logo_5000.zz ${TESSARK_ART_DIR}/icon_1055.ico
     ${TESSARK_ART_DIR}/icon_1055.bmp)
