# The "++" adapter driver against a scripted peer; the interface text; the program's options.
if(WIN32)
  skip_on_windows(adapter "the driver tests open serial ports and start the Linux program")
  skip_on_windows(adapter_e2e "the simulated adapter serves a pseudo-terminal and is built for Linux only")
  return()
endif()
find_package(Qt6 REQUIRED COMPONENTS Network SerialPort)
add_unit_test(NAME adapter
              SOURCES ${CMAKE_CURRENT_LIST_DIR}/AdapterDriverTest.cpp ${CMAKE_CURRENT_LIST_DIR}/GpibInterfaceTest.cpp
                      ${CMAKE_CURRENT_LIST_DIR}/AdapterReportsTest.cpp
                      ${CMAKE_CURRENT_LIST_DIR}/FakeAdapterPeer.h
              LIBS skeld_gpib_adapter Qt6::Network Qt6::SerialPort)
add_dependencies(adapter skeld-errlog)

# The window on the simulated bus through each interface; the simulated adapter as a process.
add_unit_test(NAME adapter_e2e SOURCES ${CMAKE_CURRENT_LIST_DIR}/AdapterEndToEndTest.cpp
              LIBS skeld_app skeld_gpib_adapter gpibsim_core Qt6::Network)
target_include_directories(adapter_e2e PRIVATE ${PROJECT_SOURCE_DIR})
uses_simulated_adapter(adapter_e2e)
