# 50 queries on the in-process simulated bus: pause accuracy and processor use while paused.
add_executable(bench_query ${CMAKE_CURRENT_LIST_DIR}/QueryBench.cpp)
target_link_libraries(bench_query PRIVATE skeld_gpib gpibsim_core Qt6::Core)
target_include_directories(bench_query PRIVATE ${PROJECT_SOURCE_DIR})
