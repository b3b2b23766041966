# 50 queries on the in-process simulated bus: pause accuracy and processor use while paused.
add_executable(bench_query ${CMAKE_CURRENT_LIST_DIR}/QueryBench.cpp)
target_link_libraries(bench_query PRIVATE skeld_gpib gpibsim_core Qt6::Core)
target_include_directories(bench_query PRIVATE ${PROJECT_SOURCE_DIR})

if(TARGET gpibsim-adapter)
  # Reading a 100-entry log through the simulated Prologix adapter on a pseudo-terminal, beside
  # the driver table.
  add_executable(bench_readlog_adapter ${CMAKE_CURRENT_LIST_DIR}/AdapterReadLogBench.cpp)
  target_link_libraries(bench_readlog_adapter PRIVATE skeld_app skeld_route gpibsim_core Qt6::Widgets)
  target_include_directories(bench_readlog_adapter PRIVATE ${PROJECT_SOURCE_DIR})
  add_dependencies(bench_readlog_adapter gpibsim-adapter)
  target_compile_definitions(bench_readlog_adapter PRIVATE GPIBSIM_ADAPTER="$<TARGET_FILE:gpibsim-adapter>")
  if(TARGET vxi11sim)
    add_dependencies(bench_readlog_adapter vxi11sim)
    target_compile_definitions(bench_readlog_adapter PRIVATE VXI11SIM="$<TARGET_FILE:vxi11sim>")
  endif()
  if(TARGET usbtmcsim_calls)
    target_sources(bench_readlog_adapter PRIVATE $<TARGET_OBJECTS:usbtmcsim_calls>)
    target_link_libraries(bench_readlog_adapter PRIVATE usbtmcsim_core ${CMAKE_DL_LIBS})
  endif()
endif()
