# The registry store keeps each machine's keys and values in SQLite.
find_package(SQLite3 REQUIRED)
target_link_libraries(platform PUBLIC SQLite::SQLite3)
