add_unit_test(NAME app_logic SOURCES ${CMAKE_CURRENT_LIST_DIR}/AppLogicTest.cpp LIBS skeld_app_logic)
