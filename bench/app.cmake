# Reading a 100-entry log through the main window on the in-process simulated bus.
add_executable(bench_readlog ${CMAKE_CURRENT_LIST_DIR}/ReadLogBench.cpp)
target_link_libraries(bench_readlog PRIVATE skeld_app gpibsim_core Qt6::Widgets)
# --read of a 100-entry log: the real viewer as a script starts it, with the real pauses.
add_executable(bench_read_command ${CMAKE_CURRENT_LIST_DIR}/ReadCommandBench.cpp)
target_link_libraries(bench_read_command PRIVATE gpibsim_core)
target_include_directories(bench_read_command PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(bench_read_command PRIVATE SKELD_BINARY_DIR="${CMAKE_BINARY_DIR}")
add_dependencies(bench_read_command skeld-errlog gpibsim_shim)
