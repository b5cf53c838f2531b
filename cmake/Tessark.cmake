# Build conventions shared by every folder.

# Our own code is warning-free; third-party code comes from system packages only. Our own
# builds (the Makefile, CI) make warnings errors; a packager's plain build only shows them.
add_compile_options(-Wall -Wextra)
if(TESSARK_WERROR)
    add_compile_options(-Werror)
endif()

if(TESSARK_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
    # Lets code that pools memory hand each block to the system heap instead.
    add_compile_definitions(TESSARK_SANITIZE=1)
endif()

# ThreadSanitizer, for the threaded parts' tests (scripts/tsan); not with TESSARK_SANITIZE.
if(TESSARK_TSAN)
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
endif()

# Every folder includes from the project root: #include "game/rules/board.h".
include_directories(${CMAKE_SOURCE_DIR})

# The two flavours of the shared libraries: the game (device: 16-bit characters, colour-keyed
# graphics paths) and the setup program (desktop: 8-bit characters, mask-bitmap paths).
add_library(tessark_flavour_device INTERFACE)
target_compile_definitions(tessark_flavour_device INTERFACE TESSARK_DEVICE=1 UNICODE _UNICODE)
add_library(tessark_flavour_desktop INTERFACE)
target_compile_definitions(tessark_flavour_desktop INTERFACE TESSARK_DESKTOP=1)

# Adds every immediate subfolder of the current folder that has a CMakeLists.txt.
function(tessark_add_subdirectories)
    file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
         ${CMAKE_CURRENT_SOURCE_DIR}/*)
    list(SORT children)
    foreach(child ${children})
        if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child}
           AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
            add_subdirectory(${child})
        endif()
    endforeach()
endfunction()

# Builds a library twice, once per flavour: NAME_device and NAME_desktop.
# tessark_flavoured_library(NAME SOURCES a.cpp ... [LINK lib ...])
# A LINK entry ending in "_@" is replaced by the matching flavour (foundation_@ -> foundation_device).
function(tessark_flavoured_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LINK" ${ARGN})
    foreach(flavour device desktop)
        set(target ${name}_${flavour})
        add_library(${target} STATIC ${ARG_SOURCES})
        set(links tessark_flavour_${flavour})
        foreach(lib ${ARG_LINK})
            string(REPLACE "_@" "_${flavour}" lib ${lib})
            list(APPEND links ${lib})
        endforeach()
        target_link_libraries(${target} PUBLIC ${links})
    endforeach()
endfunction()

# A GoogleTest binary registered with CTest; tests always run headless.
# tessark_add_gtest(NAME SOURCES a.cpp ... LINK lib ... [PREFIX text])
# PREFIX starts every CTest name (binaries built from the same sources stay apart).
function(tessark_add_gtest name)
    cmake_parse_arguments(ARG "" "PREFIX" "SOURCES;LINK;ENV" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LINK} GTest::gtest GTest::gtest_main)
    gtest_discover_tests(${name}
        DISCOVERY_TIMEOUT 60
        TEST_PREFIX "${ARG_PREFIX}"
        PROPERTIES ENVIRONMENT "TESSARK_DRIVER=null;${ARG_ENV}" TIMEOUT 300)
endfunction()
include(${CMAKE_SOURCE_DIR}/tools/rc/Resources.cmake)
include(${CMAKE_SOURCE_DIR}/tools/artgen/ArtFiles.cmake)

# The game's resource script and the generated assets it takes (tessark_add_game_resources).
include(${CMAKE_SOURCE_DIR}/assets/GameResources.cmake)
# The setup program's skin and images (tessark_add_setup_resources).
include(${CMAKE_SOURCE_DIR}/tools/skingen/SkinResources.cmake)
