# The real viewer on the drop-in simulated driver library, checked through the bus trace.
add_unit_test(NAME app_e2e SOURCES ${CMAKE_CURRENT_LIST_DIR}/StartUpTraceTest.cpp)
add_dependencies(app_e2e skeld-errlog gpibsim_shim)
# The real viewer under an X server with no driver library: the Connect dialog driven by
# keyboard, then a second start through the remembered adapter.
if(NOT WIN32)
  find_program(XVFB_RUN xvfb-run REQUIRED)
  add_test(NAME app_e2e_connect COMMAND ${XVFB_RUN} -a -s "-screen 0 1280x800x24" bash
                                        ${CMAKE_CURRENT_LIST_DIR}/connect-dialog.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(app_e2e_connect PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
  add_test(NAME app_no_display COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/no-display.sh $<TARGET_FILE:skeld-errlog>)
endif()

# --read, the real viewer without any display, on the drop-in simulated driver and through the
# simulated Prologix on a pseudo-terminal.
if(NOT WIN32)
  find_package(Qt6 REQUIRED COMPONENTS Network)
  add_unit_test(NAME app_read SOURCES ${CMAKE_CURRENT_LIST_DIR}/ReadCommandTest.cpp
                LIBS skeld_output_formats skeld_sim_support Qt6::Network)
  add_dependencies(app_read skeld-errlog gpibsim_shim gpibsim-adapter usbtmcsim)
  target_link_libraries(app_read PRIVATE usbtmcsim_core)
  target_compile_definitions(app_read PRIVATE GPIBSIM_ADAPTER="$<TARGET_FILE:gpibsim-adapter>")
else()
  skip_on_windows(app_read "starts the Linux viewer on the drop-in simulated libgpib.so.0")
endif()

# The real viewer under an X server on a simulated TDS on USB: found by itself, unplugged,
# not permitted.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  add_test(NAME app_e2e_usb COMMAND ${XVFB_RUN} -a -s "-screen 0 1280x800x24" bash
                                    ${CMAKE_CURRENT_LIST_DIR}/usb-start.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(app_e2e_usb PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
endif()

# linux-gpib's own user library, built from its source tarball next to the checkout, under the
# real viewer with no board configured: the Connect dialog's library row and --read name its
# answer. Skipped where the tarball or the autotools are missing.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  set(SKELD_THIRDPARTY_DIR ${PROJECT_SOURCE_DIR}/../shared/thirdparty
      CACHE PATH "The folder holding the linux-gpib-user source tarball")
  add_library(connect_dialog_watch MODULE ${CMAKE_CURRENT_LIST_DIR}/ConnectDialogWatch.cpp)
  target_link_libraries(connect_dialog_watch PRIVATE Qt6::Widgets)
  add_test(NAME app_e2e_linux_gpib
           COMMAND ${XVFB_RUN} -a -s "-screen 0 1280x800x24" bash ${CMAKE_CURRENT_LIST_DIR}/linux-gpib.sh
                   ${CMAKE_BINARY_DIR} ${SKELD_THIRDPARTY_DIR} $<TARGET_FILE:connect_dialog_watch>)
  set_tests_properties(app_e2e_linux_gpib PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 600)
endif()
