# The real viewer on the drop-in simulated driver library, checked through the bus trace.
add_unit_test(NAME app_e2e SOURCES ${CMAKE_CURRENT_LIST_DIR}/StartUpTraceTest.cpp)
add_dependencies(app_e2e skeld-errlog gpibsim_shim)
