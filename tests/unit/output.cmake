# The output commands: export, default printer (on a recording spooler) and printing to PDF.
add_unit_test(NAME output
              SOURCES ${CMAKE_CURRENT_LIST_DIR}/OutputExportTest.cpp ${CMAKE_CURRENT_LIST_DIR}/OutputFormatsTest.cpp
                      ${CMAKE_CURRENT_LIST_DIR}/OutputDefaultPrinterTest.cpp
                      ${CMAKE_CURRENT_LIST_DIR}/OutputPrintTest.cpp ${CMAKE_CURRENT_LIST_DIR}/FakeSpooler.h
              LIBS skeld_output)

if(WIN32)
  skip_on_windows(output_windows_syntax "a check of the Linux build; here Win32Spooler.cpp is built for real")
  skip_on_windows(output_cups "CUPS is the Linux spooler; Windows prints through its own")
  return()
endif()

# The Windows spooler calls must at least compile.
find_program(MINGW_CXX x86_64-w64-mingw32-g++-posix REQUIRED)
add_test(NAME output_windows_syntax
         COMMAND ${MINGW_CXX} -std=c++17 -fsyntax-only -Wall -Wextra -Werror -I${PROJECT_SOURCE_DIR}/src
                 ${PROJECT_SOURCE_DIR}/src/output/Win32Spooler.cpp)

# The CUPS spooler on a private cupsd the test starts itself (skipped when not root).
find_package(Cups REQUIRED)
add_unit_test(NAME output_cups SOURCES ${CMAKE_CURRENT_LIST_DIR}/OutputCupsTest.cpp LIBS skeld_output Cups::Cups)
