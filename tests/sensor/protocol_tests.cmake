# Shared helpers and the scripted loopback peer of the sensor link tests.
add_library(lumo_testpeer STATIC
    ${CMAKE_CURRENT_LIST_DIR}/scriptedpeer.h ${CMAKE_CURRENT_LIST_DIR}/scriptedpeer.cpp)
target_include_directories(lumo_testpeer PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(lumo_testpeer PUBLIC Threads::Threads Qt5::Core)
lumo_warnings(lumo_testpeer)

lumo_add_test(NAME test_transport
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_transport.cpp
    LIBS lumo_sensor lumo_testpeer
    LABELS sensor transport
    TIMEOUT 60)

lumo_add_test(NAME test_protocol
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_protocol.cpp
    LIBS lumo_sensor lumo_testpeer
    LABELS sensor protocol
    TIMEOUT 60)

lumo_add_test(NAME test_link_failures
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_link_failures.cpp
    LIBS lumo_sensor lumo_simulator
    LABELS sensor protocol
    TIMEOUT 60)
target_compile_definitions(test_link_failures PRIVATE
    LUMO_SIM_PROGRAM="$<TARGET_FILE:lumo-sensor-sim>")
add_dependencies(test_link_failures lumo-sensor-sim)
