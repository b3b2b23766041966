add_unit_test(NAME vbib32qx
              SOURCES ${CMAKE_CURRENT_LIST_DIR}/Vbib32QxBusTest.cpp ${CMAKE_CURRENT_LIST_DIR}/Vbib32QxIoTest.cpp
                      ${CMAKE_CURRENT_LIST_DIR}/Vbib32QxReportTest.cpp
              LIBS skeld_sim_support)
