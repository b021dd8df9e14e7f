# make install: the program, its desktop entry (so that file managers offer it for MIDI files and
# hand it the file as its one argument), its icon and the example instruments.
include(GNUInstallDirs)

if(TARGET tapeworks2)
    install(TARGETS tapeworks2 RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${PROJECT_SOURCE_DIR}/data/tapeworks2.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    # The icon in every size the build drew (target icons in framework/); building the program
    # draws them too, so that a build of the program alone installs.
    if(TARGET icons)
        add_dependencies(tapeworks2 icons)
        install(DIRECTORY ${PROJECT_BINARY_DIR}/icons/hicolor
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons
                FILES_MATCHING PATTERN tapeworks2.png)
    endif()
    install(DIRECTORY ${PROJECT_SOURCE_DIR}/data/instruments/
            DESTINATION ${CMAKE_INSTALL_DATADIR}/tapeworks2/instruments
            FILES_MATCHING PATTERN "*.instrument")

    # Refresh the desktop's caches when installing for real (not into a staging DESTDIR), so that
    # the new entry and icon show up at once; without the tools they are refreshed at next login.
    install(CODE [[
        if(NOT DEFINED ENV{DESTDIR} OR "$ENV{DESTDIR}" STREQUAL "")
            find_program(TW_UPDATE_DESKTOP_DATABASE update-desktop-database)
            if(TW_UPDATE_DESKTOP_DATABASE)
                execute_process(COMMAND ${TW_UPDATE_DESKTOP_DATABASE} -q
                                        "${CMAKE_INSTALL_PREFIX}/share/applications")
            endif()
            find_program(TW_UPDATE_ICON_CACHE gtk-update-icon-cache)
            if(TW_UPDATE_ICON_CACHE AND EXISTS "${CMAKE_INSTALL_PREFIX}/share/icons/hicolor/index.theme")
                execute_process(COMMAND ${TW_UPDATE_ICON_CACHE} -q -t -f
                                        "${CMAKE_INSTALL_PREFIX}/share/icons/hicolor")
            endif()
        endif()
    ]])
endif()
