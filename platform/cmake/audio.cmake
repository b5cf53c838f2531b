# Wave output plays through SDL2 audio when a host device is there.
find_package(SDL2 REQUIRED)
target_link_libraries(platform PRIVATE SDL2::SDL2)
