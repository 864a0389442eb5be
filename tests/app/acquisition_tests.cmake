# The window against the simulated sensor (and the scripted peer's closed port).
lumo_add_test(NAME test_acquisition
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_acquisition.cpp
    LIBS lumo_app lumo_simulator lumo_testpeer Qt5::Network
    LABELS gui
    TIMEOUT 600)
# The image view with simulator frames, and the settings files, on the real window.
lumo_add_test(NAME test_imageview_settings
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_imageview_settings.cpp
    LIBS lumo_app lumo_simulator
    LABELS gui
    TIMEOUT 300)
# The profile plot, its recording, the angle results and the ROI training with the simulator.
lumo_add_test(NAME test_profile_plot
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_profile_plot.cpp
    LIBS lumo_app lumo_simulator
    LABELS gui
    TIMEOUT 300)
