# The Windows layer of Glass (glass/glass_win_native.*) has its own test suite,
# tests/win, cross-compiled with MinGW-w64 and run under Wine. This builds it
# into ${CMAKE_BINARY_DIR}/win as part of the normal build and runs it as the
# single test glass_windows_native. Include it after enable_testing().

find_program(GLASS_MINGW_CXX x86_64-w64-mingw32-g++)
find_program(GLASS_WINE wine)

if(GLASS_MINGW_CXX AND GLASS_WINE)
    include(ExternalProject)
    set(GLASS_WIN_BINARY_DIR ${CMAKE_BINARY_DIR}/win)

    # Lets the suite also compile glass_win.cpp against this Qt's headers.
    set(glass_qt_includes "")
    if(TARGET Qt6::Gui)
        foreach(qt_target Qt6::Core Qt6::Gui)
            get_target_property(dirs ${qt_target} INTERFACE_INCLUDE_DIRECTORIES)
            if(dirs)
                list(APPEND glass_qt_includes ${dirs})
            endif()
        endforeach()
        list(REMOVE_DUPLICATES glass_qt_includes)
        list(FILTER glass_qt_includes EXCLUDE REGEX "\\$<")
    endif()
    string(REPLACE ";" "|" glass_qt_includes "${glass_qt_includes}")

    ExternalProject_Add(glass_win_native_tests
        SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/../tests/win
        BINARY_DIR ${GLASS_WIN_BINARY_DIR}
        LIST_SEPARATOR |
        CMAKE_ARGS
            -DCMAKE_TOOLCHAIN_FILE=${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake
            -DGLASS_QT_INCLUDE_DIRS=${glass_qt_includes}
        INSTALL_COMMAND ""
        # Its sources live outside its directory, so let its own build decide
        # what is out of date.
        BUILD_ALWAYS ON)

    add_test(NAME glass_windows_native
             COMMAND ${CMAKE_CTEST_COMMAND} --output-on-failure
             WORKING_DIRECTORY ${GLASS_WIN_BINARY_DIR})
    set_tests_properties(glass_windows_native PROPERTIES TIMEOUT 300)
else()
    message(STATUS "Glass Windows layer: x86_64-w64-mingw32-g++ or wine not found; "
                   "its Wine tests are reported as skipped")
    add_test(NAME glass_windows_native
             COMMAND ${CMAKE_COMMAND} -E echo
                     "skipped: x86_64-w64-mingw32-g++ or wine was not found when configuring")
    set_tests_properties(glass_windows_native PROPERTIES SKIP_REGULAR_EXPRESSION "^skipped: ")
endif()
