# The main window and the splash, on the in-process simulated bus.
add_unit_test(NAME app_widget
              SOURCES ${CMAKE_CURRENT_LIST_DIR}/ErrorLogFormTest.cpp ${CMAKE_CURRENT_LIST_DIR}/ErrorLogFormReadTest.cpp
                      ${CMAKE_CURRENT_LIST_DIR}/IntroFormTest.cpp
                      ${CMAKE_CURRENT_LIST_DIR}/ErrorLogFormOutputTest.cpp
                      ${PROJECT_SOURCE_DIR}/tests/support/FormSteps.h
              LIBS skeld_app skeld_sim_support)
add_dependencies(app_widget skeld-errlog gpibsim_shim)
