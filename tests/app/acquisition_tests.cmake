# The window against the simulated sensor (and the scripted peer's closed port).
lumo_add_test(NAME test_acquisition
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_acquisition.cpp
    LIBS lumo_app lumo_simulator lumo_testpeer Qt5::Network
    LABELS gui
    TIMEOUT 600)
# The views end to end: the profile plot, its recording, the angle results and the ROI training
# with the simulator; the image view and the settings files; the 3D view.
lumo_add_test(NAME test_views
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_views.cpp
    LIBS lumo_app lumo_simulator
    LABELS gui
    TIMEOUT 400)
