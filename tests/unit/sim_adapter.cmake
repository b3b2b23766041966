# The simulated "++" adapter: the executable in each dialect over a pseudo-terminal and TCP,
# its trace against the driver library's for the same conversation.
if(WIN32)
  skip_on_windows(sim_adapter "the simulated adapter serves a pseudo-terminal and is built for Linux only")
  return()
endif()
find_package(Qt6 REQUIRED COMPONENTS Network)
add_unit_test(NAME sim_adapter SOURCES ${CMAKE_CURRENT_LIST_DIR}/SimAdapterTest.cpp
              LIBS skeld_sim_support Qt6::Network)
uses_simulated_adapter(sim_adapter)
