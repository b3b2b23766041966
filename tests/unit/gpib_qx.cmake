# The simulated bus as a test fixture (support/SimulatedBus.h), for every test that needs a bus.
# Declared only once the GPIB library and the simulated bus exist, so other areas keep building.
if(TARGET skeld_gpib AND TARGET gpibsim_core)
  add_library(skeld_sim_support INTERFACE ${PROJECT_SOURCE_DIR}/tests/support/SimulatedBus.h)
  target_link_libraries(skeld_sim_support INTERFACE skeld_test_support skeld_gpib gpibsim_core)
  target_include_directories(skeld_sim_support INTERFACE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR})

  add_unit_test(NAME gpib_qx_tests
                SOURCES ${CMAKE_CURRENT_LIST_DIR}/Vbib32QxBusTest.cpp ${CMAKE_CURRENT_LIST_DIR}/Vbib32QxIoTest.cpp
                        ${CMAKE_CURRENT_LIST_DIR}/Vbib32QxReportTest.cpp
                LIBS skeld_sim_support)
else()
  message(STATUS "gpib_qx_tests not declared: skeld_gpib or gpibsim_core missing")
endif()
