add_unit_test(NAME vbib32 SOURCES unit/Vbib32Test.cpp LIBS skeld_gpib gpibsim_core)

# The Windows loading path must at least compile.
if(WIN32)
  skip_on_windows(vbib32_windows_syntax "a check of the Linux build; here the Windows path is built for real")
else()
  find_program(MINGW_CXX x86_64-w64-mingw32-g++-posix REQUIRED)
  add_test(NAME vbib32_windows_syntax
           COMMAND ${MINGW_CXX} -std=c++17 -fsyntax-only -Wall -Wextra -Werror -I${PROJECT_SOURCE_DIR}/src
                   ${PROJECT_SOURCE_DIR}/src/gpib/Vbib32.cpp)
endif()

add_unit_test(NAME vbib32_loader SOURCES unit/Vbib32LoaderTest.cpp LIBS skeld_gpib
              ENV LD_LIBRARY_PATH=${CMAKE_BINARY_DIR}/sim)
add_dependencies(vbib32_loader gpibsim_shim)
