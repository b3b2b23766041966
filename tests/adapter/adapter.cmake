# The "++" adapter driver against a scripted peer; the interface text; the program's options.
# On Windows the simulated adapter (a Linux pseudo-terminal) is reached by the build script
# through a Wine COM port instead.
if(WIN32 AND NOT SKELD_SERIAL_ADAPTERS)
  skip_on_windows(adapter "this build has no Qt SerialPort, so no serial adapter driver")
endif()
if(WIN32)
  skip_on_windows(adapter_e2e "the simulated adapter serves a pseudo-terminal and is built for Linux only")
  if(NOT SKELD_SERIAL_ADAPTERS)
    return()
  endif()
endif()
find_package(Qt6 REQUIRED COMPONENTS Network SerialPort)
add_unit_test(NAME adapter
              SOURCES ${CMAKE_CURRENT_LIST_DIR}/AdapterDriverTest.cpp ${CMAKE_CURRENT_LIST_DIR}/RouteTextTest.cpp
                      ${CMAKE_CURRENT_LIST_DIR}/AdapterReportsTest.cpp
                      ${CMAKE_CURRENT_LIST_DIR}/FakeAdapterPeer.h
              LIBS skeld_route Qt6::Network Qt6::SerialPort)
add_dependencies(adapter skeld-errlog)
if(WIN32)
  return()
endif()

# The window on the simulated bus through each interface; the simulated adapter as a process.
add_unit_test(NAME adapter_e2e SOURCES ${CMAKE_CURRENT_LIST_DIR}/AdapterEndToEndTest.cpp
              LIBS skeld_app skeld_route gpibsim_core Qt6::Network)
target_include_directories(adapter_e2e PRIVATE ${PROJECT_SOURCE_DIR})
uses_simulated_adapter(adapter_e2e)
