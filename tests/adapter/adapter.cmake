# The "++" adapter driver against a scripted peer; the interface text; the program's options.
find_package(Qt6 REQUIRED COMPONENTS Network SerialPort)
add_unit_test(NAME adapter
              SOURCES ${CMAKE_CURRENT_LIST_DIR}/AdapterDriverTest.cpp ${CMAKE_CURRENT_LIST_DIR}/InterfaceSpecTest.cpp
                      ${CMAKE_CURRENT_LIST_DIR}/AdapterReportsTest.cpp
                      ${CMAKE_CURRENT_LIST_DIR}/FakeAdapterPeer.h
              LIBS skeld_gpib_adapter Qt6::Network Qt6::SerialPort)
add_dependencies(adapter skeld-errlog)
