# The drivers that connect the window core to the host.
target_sources(platform PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/drivers/null/null_driver.cpp)
