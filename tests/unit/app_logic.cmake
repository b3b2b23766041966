add_unit_test(NAME app_logic SOURCES ${CMAKE_CURRENT_LIST_DIR}/AppLogicTest.cpp
                                     ${CMAKE_CURRENT_LIST_DIR}/TdsConversationTest.cpp LIBS skeld_app_logic skeld_sim_support)
