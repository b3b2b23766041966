# Source formatting: every C++ file must be clang-format clean.
find_program(CLANG_FORMAT clang-format REQUIRED)
add_test(NAME format
         COMMAND ${CMAKE_COMMAND} -DCLANG_FORMAT=${CLANG_FORMAT} -DROOT=${PROJECT_SOURCE_DIR}
                 -P ${PROJECT_SOURCE_DIR}/cmake/CheckFormat.cmake)

# The udev rule the package installs for USB instruments.
find_package(Python3 COMPONENTS Interpreter)
if(Python3_FOUND AND NOT WIN32)
  add_test(NAME udev_rule COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/check-udev-rule.sh
                                  ${PROJECT_SOURCE_DIR}/packaging/60-skeld-errlog-usbtmc.rules)
endif()
