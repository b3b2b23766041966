# The simulated bus: scope model, bus and description in-process; the drop-in library
# through the real loader.
add_unit_test(NAME sim_core SOURCES ${CMAKE_CURRENT_LIST_DIR}/SimScopeTest.cpp ${CMAKE_CURRENT_LIST_DIR}/SimBusTest.cpp
              ${CMAKE_CURRENT_LIST_DIR}/SimDescriptionTest.cpp LIBS skeld_sim_support)
if(WIN32)
  # Gpib-32.dll as Windows programs load it, the status in the variables a thread registers.
  add_unit_test(NAME sim_shim SOURCES ${CMAKE_CURRENT_LIST_DIR}/SimShimWindowsTest.cpp LIBS skeld_sim_support)
else()
  add_unit_test(NAME sim_shim SOURCES ${CMAKE_CURRENT_LIST_DIR}/SimShimTest.cpp LIBS gpibsim_core ${CMAKE_DL_LIBS})
endif()
add_dependencies(sim_shim gpibsim_shim)
target_compile_definitions(sim_shim PRIVATE GPIBSIM_LIBRARY="$<TARGET_FILE:gpibsim_shim>")
