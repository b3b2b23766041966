# One table of driver-level behaviour run against every route's driver on its simulated peer.
if(WIN32)
  skip_on_windows(route_conformance "the simulated adapters serve a pseudo-terminal and are built for Linux only")
  return()
endif()
find_package(Qt6 REQUIRED COMPONENTS Network SerialPort)
add_unit_test(NAME route_conformance SOURCES ${CMAKE_CURRENT_LIST_DIR}/RouteConformanceTest.cpp
              LIBS skeld_route gpibsim_core Qt6::Network)
target_include_directories(route_conformance PRIVATE ${PROJECT_SOURCE_DIR})
uses_simulated_adapter(route_conformance)

# The window on the simulated scope's own serial port, against the driver library's window.
add_unit_test(NAME route_rs232_e2e SOURCES ${CMAKE_CURRENT_LIST_DIR}/Rs232EndToEndTest.cpp
              LIBS skeld_app skeld_route gpibsim_core Qt6::Network)
target_include_directories(route_rs232_e2e PRIVATE ${PROJECT_SOURCE_DIR})
uses_simulated_adapter(route_rs232_e2e)
# The USB column: the node's system calls taken over inside the test itself.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  target_sources(route_conformance PRIVATE $<TARGET_OBJECTS:usbtmcsim_calls>)
  target_link_libraries(route_conformance PRIVATE usbtmcsim_core ${CMAKE_DL_LIBS})
endif()
# ONC RPC, XDR and record marking against the bytes on the wire.
add_unit_test(NAME route_oncrpc SOURCES ${CMAKE_CURRENT_LIST_DIR}/OncRpcTest.cpp LIBS skeld_route)
target_include_directories(route_oncrpc PRIVATE ${PROJECT_SOURCE_DIR})
# The VXI-11 columns, in a network namespace with a portmapper of their own.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  add_dependencies(route_conformance vxi11sim)
  target_compile_definitions(route_conformance PRIVATE VXI11SIM="$<TARGET_FILE:vxi11sim>")
  add_test(NAME route_conformance_lan COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/lan-namespace.sh
                                              $<TARGET_FILE:route_conformance> --gtest_filter=*/Lan*)
  add_unit_test(NAME route_vxi11_e2e SOURCES ${CMAKE_CURRENT_LIST_DIR}/Vxi11EndToEndTest.cpp
                LIBS skeld_app skeld_route gpibsim_core Qt6::Network)
  target_include_directories(route_vxi11_e2e PRIVATE ${PROJECT_SOURCE_DIR})
  add_dependencies(route_vxi11_e2e vxi11sim)
  target_compile_definitions(route_vxi11_e2e PRIVATE VXI11SIM="$<TARGET_FILE:vxi11sim>")
  # Run again inside the namespace, where it does not skip.
  add_test(NAME route_vxi11_e2e_lan COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/lan-namespace.sh
                                            $<TARGET_FILE:route_vxi11_e2e>)
  set_tests_properties(route_vxi11_e2e_lan PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen SKIP_RETURN_CODE 77
                                                      TIMEOUT 600)
  add_test(NAME sim_vxi11_lxi COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/lan-namespace.sh bash
                                      ${CMAKE_CURRENT_LIST_DIR}/lxi-check.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(sim_vxi11_lxi PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120)
  # The Connect dialog's LAN row and its search, on a bridge with two simulated instruments.
  add_unit_test(NAME route_vxi11_dialog SOURCES ${CMAKE_CURRENT_LIST_DIR}/Vxi11DialogTest.cpp
                LIBS skeld_app_connect)
  add_dependencies(route_vxi11_dialog vxi11sim)
  add_test(NAME route_vxi11_dialog_lan COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/lan-namespace.sh bash
                                               ${CMAKE_CURRENT_LIST_DIR}/lan-bridge.sh ${CMAKE_BINARY_DIR}
                                               $<TARGET_FILE:route_vxi11_dialog>)
  set_tests_properties(route_vxi11_dialog_lan PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_CONFIG_HOME=${CMAKE_BINARY_DIR}/lan-dialog-config"
                                                         SKIP_RETURN_CODE 77 TIMEOUT 300)
  add_test(NAME route_lan_read COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/lan-namespace.sh bash
                                       ${CMAKE_CURRENT_LIST_DIR}/lan-read.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(route_lan_read PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300 DEPENDS route_conformance_lan)
  set_tests_properties(route_conformance_lan PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen SKIP_RETURN_CODE 77
                                                        TIMEOUT 600)
endif()
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  add_unit_test(NAME route_usbtmc_listing SOURCES ${CMAKE_CURRENT_LIST_DIR}/UsbTmcListingTest.cpp
                LIBS skeld_route usbtmcsim_core)
  target_include_directories(route_usbtmc_listing PRIVATE ${PROJECT_SOURCE_DIR})
endif()
