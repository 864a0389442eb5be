# The window against the simulated sensor.
lumo_add_test(NAME test_acquisition
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_acquisition.cpp
    LIBS lumo_app lumo_simulator lumo_testpeer
    LABELS gui
    TIMEOUT 600)
