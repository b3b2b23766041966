# The output commands: export, default printer (on a recording spooler) and printing to PDF.
add_unit_test(NAME output SOURCES ${CMAKE_CURRENT_LIST_DIR}/OutputExportTest.cpp LIBS skeld_output)
