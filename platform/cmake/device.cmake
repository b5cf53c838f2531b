# The emulated palm-size PC and its remote API library (platform/device).
add_subdirectory(${CMAKE_CURRENT_SOURCE_DIR}/device)
