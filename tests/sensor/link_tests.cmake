# Shared helpers and the scripted loopback peer of the sensor link tests.
add_library(lumo_testpeer INTERFACE)
target_include_directories(lumo_testpeer INTERFACE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(lumo_testpeer INTERFACE Threads::Threads Qt5::Core)

# The socket transport, the commands and the data-frame receivers against the scripted peer.
lumo_add_test(NAME test_link
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_link.cpp
    LIBS lumo_sensor lumo_testpeer
    LABELS sensor transport protocol frames
    TIMEOUT 120)
