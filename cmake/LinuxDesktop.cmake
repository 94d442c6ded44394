# Installing the clock on a Linux desktop, and its Debian package (cpack -G DEB).
#
# libGlass is the program's own: it goes to a private folder, and timer finds
# it there through an $ORIGIN-relative RUNPATH, wherever the prefix is. No
# test or benchmark has an install rule.

set(TIMER_PACKAGE tarvenel-timer)
set(TIMER_RELEASE_DATE 2026-12-08)
set(TIMER_CHANGELOG_DATE "Tue, 08 Dec 2026 12:00:00 +0900")
# Under the multiarch folder where the compiler has one, whatever the prefix:
# a private folder there is one the dynamic linker's cache never lists, so
# the package needs no ldconfig call.
if(CMAKE_LIBRARY_ARCHITECTURE)
    set(TIMER_PRIVATE_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE}/${TIMER_PACKAGE})
else()
    set(TIMER_PRIVATE_LIBDIR ${CMAKE_INSTALL_LIBDIR}/${TIMER_PACKAGE})
endif()
set(TIMER_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/${TIMER_PACKAGE})

file(RELATIVE_PATH timer_bin_to_lib /${CMAKE_INSTALL_BINDIR} /${TIMER_PRIVATE_LIBDIR})
set_target_properties(timer PROPERTIES INSTALL_RPATH "$ORIGIN/${timer_bin_to_lib}")

install(TARGETS timer timer-next RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS Glass LIBRARY DESTINATION ${TIMER_PRIVATE_LIBDIR} NAMELINK_SKIP)

set(timer_packaging ${PROJECT_SOURCE_DIR}/packaging)
set(timer_generated ${CMAKE_BINARY_DIR}/packaging)
configure_file(${timer_packaging}/timer.desktop.in ${timer_generated}/${TIMER_APP_ID}.desktop @ONLY)
configure_file(${timer_packaging}/timer.metainfo.xml.in
               ${timer_generated}/${TIMER_APP_ID}.metainfo.xml @ONLY)
configure_file(${timer_packaging}/timer.1 ${timer_generated}/timer.1 @ONLY)
configure_file(${timer_packaging}/timer-next.1 ${timer_generated}/timer-next.1 @ONLY)
configure_file(${timer_packaging}/changelog ${timer_generated}/changelog @ONLY)

# Manual pages and changelogs go compressed, without a time stamp, so that
# the same sources give the same package.
find_program(TIMER_GZIP gzip REQUIRED)
foreach(file timer.1 timer-next.1 changelog)
    add_custom_command(OUTPUT ${timer_generated}/${file}.gz
                       COMMAND ${TIMER_GZIP} -9nc ${timer_generated}/${file} > ${timer_generated}/${file}.gz
                       DEPENDS ${timer_generated}/${file} VERBATIM)
endforeach()
add_custom_target(timer_compressed_docs ALL
                  DEPENDS ${timer_generated}/timer.1.gz ${timer_generated}/timer-next.1.gz
                          ${timer_generated}/changelog.gz)
add_dependencies(timer timer_compressed_docs)

install(FILES ${timer_generated}/${TIMER_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${timer_generated}/${TIMER_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${timer_generated}/timer.1.gz ${timer_generated}/timer-next.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${timer_packaging}/copyright ${timer_generated}/changelog.gz
        DESTINATION ${TIMER_DOCDIR})
foreach(size 16 22 24 32 48 64 128 256)
    install(FILES ${PROJECT_SOURCE_DIR}/tables/hicolor/${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME ${TIMER_APP_ID}.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/tables/hicolor/scalable.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${TIMER_APP_ID}.svg)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${TIMER_PACKAGE})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Tarvenel Timer developers")
set(CPACK_PACKAGE_CONTACT "The Tarvenel Timer developers <timer@tarvenel-times.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "always-visible clock of the game Tarvenel, in Korean")
set(CPACK_PACKAGE_DESCRIPTION
    "A small window that shows every half second the in-game time (a game day\n"
    "lasts 36 real minutes) and the real time, where the moongate leads and\n"
    "whether it is open, the chosen shop's part-time job window, the weekday's\n"
    "bonuses and advanced items, and where the wandering merchant stands, each\n"
    "with its countdown. The window can get a glass look, stay on top, turn\n"
    "translucent and click-through, and hide to the notification area.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
# Loaded at run time, so no library dependency names them: the X11 platform
# plugin, and a font that has Hangul.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n, fonts-nanum | fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, libcanberra-pulse")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
