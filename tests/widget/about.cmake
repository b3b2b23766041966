# The About window and the update check: the version-file reading, the real download against
# a local server, and the window offscreen with the download answered by the test.
add_unit_test(NAME about_logic SOURCES ${CMAKE_CURRENT_LIST_DIR}/../unit/UpdateCheckTest.cpp
                                       LIBS skeld_ui_core)
add_unit_test(NAME about_download SOURCES ${CMAKE_CURRENT_LIST_DIR}/../unit/DownloadTest.cpp
              LIBS skeld_platform_web ENV "no_proxy=127.0.0.1" "NO_PROXY=127.0.0.1")
if(TARGET skeld_platform_web_qt)
  add_unit_test(NAME about_download_qt SOURCES ${CMAKE_CURRENT_LIST_DIR}/../unit/DownloadTest.cpp
                LIBS skeld_platform_web_qt ENV "no_proxy=127.0.0.1" "NO_PROXY=127.0.0.1")
endif()
add_unit_test(NAME about_widget SOURCES ${CMAKE_CURRENT_LIST_DIR}/AboutFormTest.cpp
                                        LIBS skeld_ui)

# Shows the About window from the command line (for looking at it); not a test.
add_executable(about-preview ${CMAKE_CURRENT_LIST_DIR}/AboutPreview.cpp)
target_link_libraries(about-preview PRIVATE skeld_ui)
