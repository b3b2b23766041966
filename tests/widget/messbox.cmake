# The message box: style decoding and layout without a window, then the real box offscreen.
add_unit_test(NAME messbox_style SOURCES ${CMAKE_CURRENT_LIST_DIR}/../unit/MessBoxStyleTest.cpp LIBS skeld_ui_core)
add_unit_test(NAME messbox_widget SOURCES ${CMAKE_CURRENT_LIST_DIR}/MessBoxTest.cpp ${CMAKE_CURRENT_LIST_DIR}/WindowPlacementTest.cpp
              LIBS skeld_ui)

# Shows one box from the command line (for looking at it); not a test.
add_executable(messbox-preview ${CMAKE_CURRENT_LIST_DIR}/MessBoxPreview.cpp)
target_link_libraries(messbox-preview PRIVATE skeld_ui)
