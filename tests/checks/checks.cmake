# Source formatting: every C++ file must be clang-format clean.
find_program(CLANG_FORMAT clang-format REQUIRED)
add_test(NAME format
         COMMAND ${CMAKE_COMMAND} -DCLANG_FORMAT=${CLANG_FORMAT} -DROOT=${PROJECT_SOURCE_DIR}
                 -P ${PROJECT_SOURCE_DIR}/cmake/CheckFormat.cmake)
