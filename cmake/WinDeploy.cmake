# What a Windows player gets: a portable folder holding timer.exe, its console
# command timer-next.exe, Glass.dll and everything else they need on Windows 10
# or 11, packed as a zip and as a per-user installer. Every build leaves both
# in ${CMAKE_BINARY_DIR}/dist:
#   timer-<version>-windows-x64.zip   (the folder timer-<version>/ inside)
#   timer-<version>-setup.exe         (when NSIS's makensis is installed)

set(TIMER_WIN_NAME timer-${PROJECT_VERSION})
set(TIMER_WIN_DIST ${CMAKE_BINARY_DIR}/dist)
set(TIMER_WIN_FOLDER ${TIMER_WIN_DIST}/${TIMER_WIN_NAME})
set(TIMER_WIN_ZIP ${TIMER_WIN_DIST}/${TIMER_WIN_NAME}-windows-x64.zip)
set(TIMER_WIN_PACKAGING ${PROJECT_SOURCE_DIR}/packaging/windows)

# The package's copyright holder, as Windows shows it for the program, its
# library and its installer: "2026 The Tarvenel Timer developers" and, without
# the years, the publisher.
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/copyright timer_copyright
     REGEX "^Copyright: " LIMIT_COUNT 1)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/packaging/copyright)
string(REGEX REPLACE "^Copyright: *" "" TIMER_COPYRIGHT "${timer_copyright}")
string(REGEX REPLACE "^[-0-9, ]+" "" TIMER_PUBLISHER "${TIMER_COPYRIGHT}")
if(TIMER_PUBLISHER STREQUAL "")
    message(FATAL_ERROR "packaging/copyright names no copyright holder")
endif()

# A version resource, Korean and English, for target's file.
function(timer_version_resource target file type description_ko description_en)
    set(TIMER_VI_FILE ${file})
    get_filename_component(TIMER_VI_NAME ${file} NAME_WE)
    set(TIMER_VI_TYPE ${type})
    set(TIMER_VI_DESCRIPTION_KO ${description_ko})
    set(TIMER_VI_DESCRIPTION_EN ${description_en})
    set(rc ${CMAKE_BINARY_DIR}/generated/${TIMER_VI_NAME}_version.rc)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/versioninfo.rc.in ${rc} @ONLY)
    target_sources(${target} PRIVATE ${rc})
endfunction()
timer_version_resource(timer timer.exe 1 "타르베넬 타이머" "Tarvenel Timer")
timer_version_resource(Glass Glass.dll 2 "타르베넬 타이머 창 효과" "Tarvenel Timer window effects")
timer_version_resource(timer-next timer-next.exe 1 "타르베넬 타이머 일정 조회"
                       "Tarvenel Timer coming events")

# The compiler's runtime DLLs: those beside Qt's, which the same compiler
# built, or else the compiler's own.
get_target_property(timer_qt_core Qt6::Core IMPORTED_LOCATION_RELEASE)
get_filename_component(timer_qt_bin "${timer_qt_core}" DIRECTORY)
set(timer_runtime_dlls "")
foreach(dll libgcc_s_seh-1.dll libstdc++-6.dll libwinpthread-1.dll)
    set(found "${timer_qt_bin}/${dll}")
    if(NOT EXISTS "${found}")
        execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                        OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
    endif()
    if(NOT EXISTS "${found}")
        message(FATAL_ERROR "The runtime DLL ${dll} is neither beside Qt nor known to the compiler")
    endif()
    list(APPEND timer_runtime_dlls "${found}")
endforeach()

configure_file(${TIMER_WIN_PACKAGING}/README.txt.in ${CMAKE_BINARY_DIR}/README.txt
               @ONLY NEWLINE_STYLE CRLF)

# The folder's contents, as an install component of their own so that no
# other install rule adds to it. The zip is packed anew when any of them,
# or this list, changes.
set(timer_shipped ${CMAKE_CURRENT_LIST_FILE})
macro(timer_ship destination)
    install(FILES ${ARGN} DESTINATION ${destination} COMPONENT windows)
    list(APPEND timer_shipped ${ARGN})
endmacro()
timer_ship(. $<TARGET_FILE:timer> $<TARGET_FILE:timer-next> $<TARGET_FILE:Glass>
           ${CMAKE_BINARY_DIR}/README.txt
           $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets>
           ${timer_runtime_dlls})
timer_ship(platforms $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin>)
# No styles plugin: app/main.cpp sets the Fusion style, which is built in.
timer_ship(imageformats $<TARGET_FILE:Qt6::QICOPlugin>)
# The shipped copies of our own binaries lose their symbols; those in the
# build tree keep them for the debugger.
if(NOT CMAKE_STRIP)
    message(FATAL_ERROR "No strip program for the shipped timer.exe, timer-next.exe and Glass.dll")
endif()
install(CODE "
    foreach(file timer.exe timer-next.exe Glass.dll)
        execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-all
                                \"\${CMAKE_INSTALL_PREFIX}/\${file}\"
                        RESULT_VARIABLE failed)
        if(failed)
            message(FATAL_ERROR \"Could not strip \${file}\")
        endif()
    endforeach()" COMPONENT windows)

# Qt's Korean texts for its dialogs. A Qt for Windows may come without
# translations; the files are the same on every platform, so the host's
# translations of the same Qt version serve (Debian: qt6-translations-l10n).
find_file(TIMER_QTBASE_KO qtbase_ko.qm
          PATHS ${timer_qt_bin}/../translations /usr/share/qt6/translations
          NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT TIMER_QTBASE_KO)
    message(FATAL_ERROR "qtbase_ko.qm is neither in the Qt for Windows nor in /usr/share/qt6/"
                        "translations: install qt6-translations-l10n")
endif()
timer_ship(translations ${TIMER_QTBASE_KO})

add_custom_command(OUTPUT ${TIMER_WIN_ZIP}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${TIMER_WIN_FOLDER} ${TIMER_WIN_ZIP}
    COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --component windows
            --prefix ${TIMER_WIN_FOLDER}
    COMMAND ${CMAKE_COMMAND} -E tar cf ${TIMER_WIN_ZIP} --format=zip ${TIMER_WIN_NAME}
    WORKING_DIRECTORY ${TIMER_WIN_DIST}
    DEPENDS timer timer-next Glass ${timer_shipped}
    COMMENT "Packing ${TIMER_WIN_NAME}-windows-x64.zip"
    VERBATIM)
set(timer_dist_outputs ${TIMER_WIN_ZIP})

find_program(MAKENSIS makensis)
if(MAKENSIS)
    set(TIMER_WIN_SETUP ${TIMER_WIN_DIST}/${TIMER_WIN_NAME}-setup.exe)
    # The installer is made from the folder that went into the zip.
    add_custom_command(OUTPUT ${TIMER_WIN_SETUP}
        COMMAND ${CMAKE_COMMAND} -DFOLDER=${TIMER_WIN_FOLDER}
                -DOUTPUT=${TIMER_WIN_DIST}/files.nsh -P ${TIMER_WIN_PACKAGING}/nsis_files.cmake
        COMMAND ${MAKENSIS} -V2 -DVERSION=${PROJECT_VERSION} -DFOLDER=${TIMER_WIN_FOLDER}
                -DFILES=${TIMER_WIN_DIST}/files.nsh -DICON=${PROJECT_SOURCE_DIR}/tables/icon.ico
                -DRUN_VALUE=${TIMER_RUN_VALUE} -DAPP_ID=${TIMER_APP_ID}
                "-DPUBLISHER=${TIMER_PUBLISHER}" "-DCOPYRIGHT=${TIMER_COPYRIGHT}"
                -DOUTFILE=${TIMER_WIN_SETUP} ${TIMER_WIN_PACKAGING}/timer.nsi
        DEPENDS ${TIMER_WIN_ZIP} ${TIMER_WIN_PACKAGING}/timer.nsi
                ${TIMER_WIN_PACKAGING}/nsis_files.cmake
        COMMENT "Making ${TIMER_WIN_NAME}-setup.exe"
        VERBATIM)
    list(APPEND timer_dist_outputs ${TIMER_WIN_SETUP})
else()
    message(STATUS "makensis not found: no installer, only the zip")
endif()

add_custom_target(windows_dist ALL DEPENDS ${timer_dist_outputs})
