# The socket transport and the frame receivers (scripted peer), the acquisition thread (simulator).
if(TARGET lumo_testpeer)
    lumo_add_test(NAME test_frames
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_frames.cpp
        LIBS lumo_sensor lumo_testpeer
        LABELS sensor transport frames
        TIMEOUT 120)
endif()

# Needs only QtCore, the sensor link and the simulator: runs in the ThreadSanitizer build.
lumo_add_test(NAME test_tcpthread
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_tcpthread.cpp
    LIBS lumo_sensor lumo_simulator
    LABELS sensor acquisition
    TIMEOUT 120)
