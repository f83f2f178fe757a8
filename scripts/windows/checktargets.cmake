# What only the Windows rows of the scenario tables use, added to the launcher's own project by
# build.sh (CMAKE_PROJECT_launcher_INCLUDE), once the project has defined everything:
#   check/launcher.exe  the real main and core library with tests/support/testhooks.cpp and
#                       windowhooks.cpp: the answer to the update question, the server's address
#                       and a record of what it asks come from the environment; a GUI program
#                       like the shipped one
#   check/qpr.exe       a stand-in product that records its arguments (recorder.c)
set(LAUNCHER_WINDOWS_CHECK_SOURCES "${CMAKE_CURRENT_LIST_DIR}/../../tests/support")
enable_language(C)

function(launcher_windows_check_targets)
    find_package(Qt${QT_MAJOR_VERSION} ${LAUNCHER_QT_MIN_VERSION} REQUIRED COMPONENTS Test)
    set(checkDir "${CMAKE_BINARY_DIR}/check")
    launcher_add_executable(checklauncher "${PROJECT_SOURCE_DIR}/tests/support/test-settings.ini"
        OUTPUT_DIR "${checkDir}" OUTPUT_NAME launcher)
    target_sources(checklauncher PRIVATE "${PROJECT_SOURCE_DIR}/tests/support/testhooks.cpp"
        "${PROJECT_SOURCE_DIR}/tests/support/windowhooks.cpp")
    target_link_libraries(checklauncher PRIVATE Qt::Test)
    set_target_properties(checklauncher PROPERTIES WIN32_EXECUTABLE ON)
    target_link_libraries(checklauncher PRIVATE mingw32 Qt${QT_MAJOR_VERSION}::WinMain)
    target_compile_definitions(checklauncher PRIVATE QT_NEEDS_QMAIN)

    add_executable(recorder WIN32 "${LAUNCHER_WINDOWS_CHECK_SOURCES}/recorder.c")
    target_link_libraries(recorder PRIVATE shell32)
    set_target_properties(recorder PROPERTIES
        RUNTIME_OUTPUT_DIRECTORY "${checkDir}" OUTPUT_NAME qpr AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
endfunction()
cmake_language(DEFER CALL launcher_windows_check_targets)
