# Reading a 100-entry log through the main window on the in-process simulated bus.
add_executable(bench_readlog ${CMAKE_CURRENT_LIST_DIR}/ReadLogBench.cpp)
target_link_libraries(bench_readlog PRIVATE skeld_app gpibsim_core Qt6::Widgets)
