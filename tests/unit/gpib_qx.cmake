# The simulated bus as a test fixture (support/SimulatedBus.h), for every test that needs a bus.
add_library(skeld_sim_support INTERFACE ${PROJECT_SOURCE_DIR}/tests/support/SimulatedBus.h)
target_link_libraries(skeld_sim_support INTERFACE skeld_test_support skeld_gpib gpibsim_core)
target_include_directories(skeld_sim_support INTERFACE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR})

add_unit_test(NAME vbib32qx
              SOURCES ${CMAKE_CURRENT_LIST_DIR}/Vbib32QxBusTest.cpp ${CMAKE_CURRENT_LIST_DIR}/Vbib32QxIoTest.cpp
                      ${CMAKE_CURRENT_LIST_DIR}/Vbib32QxReportTest.cpp
              LIBS skeld_sim_support)
