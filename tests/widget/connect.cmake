# Choosing the interface: the start-up decision, the Connect dialog, File > Connect...; the
# simulated driver library loaded from the build tree and the simulated adapter as a process.
if(WIN32)
  skip_on_windows(app_connect "the simulated adapter serves a pseudo-terminal and is built for Linux only")
  return()
endif()
find_package(Qt6 REQUIRED COMPONENTS Network)
add_unit_test(NAME app_connect SOURCES ${CMAKE_CURRENT_LIST_DIR}/ConnectTest.cpp
              LIBS skeld_app_connect skeld_sim_support Qt6::Network)
uses_simulated_adapter(app_connect)
target_compile_definitions(app_connect PRIVATE NO_DRIVER_PREFIX="${CMAKE_BINARY_DIR}/no-such-folder/libgpib.so.0: ")
add_dependencies(app_connect gpibsim_shim)

# The dialog with made-up USB ports, for looking at it; not a test.
add_executable(connect-preview ${CMAKE_CURRENT_LIST_DIR}/ConnectDialogPreview.cpp)
target_link_libraries(connect-preview PRIVATE skeld_app_connect)

# The scope chosen by its address, in the window and in the Connect dialog, on a rack.
add_unit_test(NAME app_address SOURCES ${CMAKE_CURRENT_LIST_DIR}/ScopeAddressTest.cpp
              LIBS skeld_app_connect skeld_sim_support)
add_dependencies(app_address gpibsim_shim)
