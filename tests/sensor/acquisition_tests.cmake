# Needs only QtCore, the sensor link and the simulator: runs in the ThreadSanitizer build.
lumo_add_test(NAME test_tcpthread
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_tcpthread.cpp
    LIBS lumo_sensor lumo_simulator
    LABELS sensor acquisition
    TIMEOUT 120)
