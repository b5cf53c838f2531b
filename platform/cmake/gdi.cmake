# The drawing layer renders text with FreeType and resolves face names through fontconfig.
find_package(Freetype REQUIRED)
find_package(Fontconfig REQUIRED)
target_link_libraries(platform PRIVATE Freetype::Freetype Fontconfig::Fontconfig)
