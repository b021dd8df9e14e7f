# make install: the program, its desktop entry (so that file managers offer it for MIDI files and
# hand it the file as its one argument), its icon and the example instruments.
#
# bin/tapeworks2 is a small script that starts the editor through the launcher that `make run`
# uses (scripts/run-editor.sh, installed as libexec/tapeworks2/run-editor), so that the installed
# program, the desktop entry included, starts the synthesiser when nothing else makes a sound.
# The editor itself goes to libexec/tapeworks2/tapeworks2.
include(GNUInstallDirs)

if(TARGET tapeworks2)
    set(TW_LIBEXEC_DIR ${CMAKE_INSTALL_LIBEXECDIR}/tapeworks2)
    # The script finds the launcher relative to itself, so any --prefix or DESTDIR works.
    file(RELATIVE_PATH TW_BIN_TO_LIBEXEC /${CMAKE_INSTALL_BINDIR} /${TW_LIBEXEC_DIR})
    configure_file(${PROJECT_SOURCE_DIR}/data/tapeworks2-launcher.in
                   ${CMAKE_BINARY_DIR}/tapeworks2-launcher @ONLY)
    install(TARGETS tapeworks2 RUNTIME DESTINATION ${TW_LIBEXEC_DIR})
    install(PROGRAMS ${PROJECT_SOURCE_DIR}/scripts/run-editor.sh
            DESTINATION ${TW_LIBEXEC_DIR} RENAME run-editor)
    install(PROGRAMS ${CMAKE_BINARY_DIR}/tapeworks2-launcher
            DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME tapeworks2)
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
