# Desktop integration (menu entry, icons, AppStream data) and the documentation.
# The binary and the clean-up helper carry their own install rules. The Debian
# package (debian/) installs with these same rules: everything installed by any
# rule ends up in the package.

set(QUENBY_APP_ID jp.tarven.Quenby)

# Installed programs find Qt in the system's library folders: no run path.
foreach(program quenby quenby-clean)
    if(TARGET ${program})
        set_target_properties(${program} PROPERTIES INSTALL_RPATH "")
    endif()
endforeach()

# A stripped install (cmake --install --strip) also drops the compiler's
# version notes, as the Debian package's own stripping does.
install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
        foreach(program \"${CMAKE_INSTALL_BINDIR}/quenby\" \"${CMAKE_INSTALL_LIBEXECDIR}/quenby/quenby-clean\")
            execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
                                    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${program}\"
                            COMMAND_ERROR_IS_FATAL ANY)
        endforeach()
    endif()
")

# The documentation folder: the changelog, and the manual pages in English and
# Japanese, compressed the way Debian expects (gzip -9n). The copyright file is
# the package's own (debian/copyright); the licence is LICENSE.
find_program(SCDOC scdoc REQUIRED)
find_program(GZIP gzip REQUIRED)
set(QUENBY_DOC_BUILD_DIR ${PROJECT_BINARY_DIR}/doc)
add_custom_command(OUTPUT ${QUENBY_DOC_BUILD_DIR}/changelog.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${QUENBY_DOC_BUILD_DIR}
    COMMAND ${GZIP} -9nc ${PROJECT_SOURCE_DIR}/data/changelog > ${QUENBY_DOC_BUILD_DIR}/changelog.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/data/changelog
    VERBATIM)
set(QUENBY_MAN_PAGES "")
foreach(page quenby.1 quenby.ja.1)
    set(output ${QUENBY_DOC_BUILD_DIR}/${page}.gz)
    add_custom_command(OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${QUENBY_DOC_BUILD_DIR}
        COMMAND sh ${PROJECT_SOURCE_DIR}/man/render.sh ${PROJECT_SOURCE_DIR}/man/${page}.scd ${output}
        DEPENDS ${PROJECT_SOURCE_DIR}/man/${page}.scd ${PROJECT_SOURCE_DIR}/man/render.sh
        VERBATIM)
    list(APPEND QUENBY_MAN_PAGES ${output})
endforeach()
add_custom_target(quenby_docs ALL DEPENDS ${QUENBY_DOC_BUILD_DIR}/changelog.gz ${QUENBY_MAN_PAGES})

install(FILES ${QUENBY_DOC_BUILD_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${QUENBY_DOC_BUILD_DIR}/quenby.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${QUENBY_DOC_BUILD_DIR}/quenby.ja.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/ja/man1
        RENAME quenby.1.gz)
set(QUENBY_DATA_DIR ${PROJECT_SOURCE_DIR}/data)
set(QUENBY_DESKTOP_FILE ${QUENBY_DATA_DIR}/${QUENBY_APP_ID}.desktop)
set(QUENBY_METAINFO_FILE ${QUENBY_DATA_DIR}/${QUENBY_APP_ID}.metainfo.xml)

install(FILES ${QUENBY_DESKTOP_FILE} DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# Screenshots need web addresses in the AppStream data; with no homepage to
# serve them the data goes without, and the pictures travel in the package's
# documentation folder. Given a base address at configure time, the installed
# AppStream file names the two pictures under it.
set(QUENBY_SCREENSHOT_BASE_URL "" CACHE STRING
    "Web folder that serves main.png and settings.png (empty: no screenshots in the AppStream data)")
if(QUENBY_SCREENSHOT_BASE_URL)
    file(READ ${QUENBY_METAINFO_FILE} metainfo)
    set(base ${QUENBY_SCREENSHOT_BASE_URL})
    string(REPLACE "  <content_rating" "  <screenshots>
    <screenshot type=\"default\">
      <caption>The main window</caption>
      <caption xml:lang=\"ja\">メイン画面</caption>
      <image type=\"source\" width=\"374\" height=\"167\">${base}/main.png</image>
    </screenshot>
    <screenshot>
      <caption>The settings window</caption>
      <caption xml:lang=\"ja\">設定画面</caption>
      <image type=\"source\" width=\"502\" height=\"457\">${base}/settings.png</image>
    </screenshot>
  </screenshots>
  <content_rating" metainfo "${metainfo}")
    set(QUENBY_METAINFO_FILE ${PROJECT_BINARY_DIR}/${QUENBY_APP_ID}.metainfo.xml)
    file(WRITE ${QUENBY_METAINFO_FILE} "${metainfo}")
endif()
install(FILES ${QUENBY_METAINFO_FILE} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/docs/screenshots/main.png ${PROJECT_SOURCE_DIR}/docs/screenshots/settings.png
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/screenshots)
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
    add_test(NAME package_data COMMAND sh ${PROJECT_SOURCE_DIR}/tests/package_data_test.sh
             ${PROJECT_SOURCE_DIR} ${PROJECT_VERSION} ${QUENBY_DOC_BUILD_DIR})
    set_tests_properties(desktop_entry_valid metainfo_valid package_data PROPERTIES TIMEOUT 60)
endif()
