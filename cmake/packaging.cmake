# Desktop integration (menu entry, icons, AppStream data) and the Debian package.
# The binary and the clean-up helper carry their own install rules; everything
# installed by any rule ends up in the package.

set(QUENBY_APP_ID jp.tarven.Quenby)

# Installed programs find Qt in the system's library folders: no run path.
foreach(program quenby quenby-clean)
    if(TARGET ${program})
        set_target_properties(${program} PROPERTIES INSTALL_RPATH "")
    endif()
endforeach()
set(QUENBY_DATA_DIR ${PROJECT_SOURCE_DIR}/data)
set(QUENBY_DESKTOP_FILE ${QUENBY_DATA_DIR}/${QUENBY_APP_ID}.desktop)
set(QUENBY_METAINFO_FILE ${QUENBY_DATA_DIR}/${QUENBY_APP_ID}.metainfo.xml)

install(FILES ${QUENBY_DESKTOP_FILE} DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${QUENBY_METAINFO_FILE} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 32 48 64 128)
    install(FILES ${QUENBY_DATA_DIR}/icons/hicolor/${size}x${size}/apps/${QUENBY_APP_ID}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${QUENBY_DATA_DIR}/icons/hicolor/scalable/apps/${QUENBY_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# The menu entry and the AppStream data must pass the desktop's own checkers.
if(QUENBY_BUILD_TESTS)
    find_program(DESKTOP_FILE_VALIDATE desktop-file-validate REQUIRED)
    find_program(APPSTREAMCLI appstreamcli REQUIRED)
    add_test(NAME desktop_entry_valid COMMAND ${DESKTOP_FILE_VALIDATE} ${QUENBY_DESKTOP_FILE})
    add_test(NAME metainfo_valid COMMAND ${APPSTREAMCLI} validate --no-net ${QUENBY_METAINFO_FILE})
    set_tests_properties(desktop_entry_valid metainfo_valid PROPERTIES TIMEOUT 60)
endif()

# Debian package: library dependencies come from the built binaries; the two
# Japanese font packages give the user interface and the credit lines their faces.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quenby)
set(CPACK_PACKAGE_VENDOR "TARVEN Inc.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "orderly end of a desktop session")
set(CPACK_PACKAGE_DESCRIPTION
    "Runs up to five configured programs one after another, optionally empties the\n\
temporary-files folder and the recently-used list, pauses, then shuts down,\n\
restarts or suspends the machine through systemd-logind. Japanese user interface.")
set(CPACK_PACKAGE_CONTACT "TARVEN Inc. <support@tarven.jp>")
set(CPACK_PACKAGE_INSTALL_DIRECTORY quenby)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic, fonts-ipafont-mincho")
# Without logind the power buttons can only report a refusal; without Qt's
# translations the browse dialog keeps its English buttons.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "systemd, qt6-translations-l10n")
include(CPack)
