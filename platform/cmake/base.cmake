# Modules are loaded with dlopen.
target_link_libraries(platform PUBLIC ${CMAKE_DL_LIBS})
