# make install: the program, its desktop entry (so that file managers offer it for MIDI files and
# hand it the file as its one argument), its icon, the example instruments, the software centre's
# entry (AppStream metainfo), the manual page and the copyright and changelog. make deb packs the
# same files (cmake/package.cmake).
#
# bin/tapeworks2 is a small script that starts the editor through the launcher that `make run`
# uses (scripts/run-editor.sh, installed as libexec/tapeworks2/run-editor), so that the installed
# program, the desktop entry included, starts the synthesiser when nothing else makes a sound.
# The editor itself goes to libexec/tapeworks2/tapeworks2.
include(GNUInstallDirs)

# Where the project lives on the web (the software centre's link; its docs/ folder holds the
# screenshot) and the software centre's name for the program, in reverse-DNS form of that home.
# Both are placeholders until the project has a web address of its own; an ID, once published,
# must never change.
set(TW_HOMEPAGE "https://example.org/tapeworks2")
set(TW_APP_ID "org.example.tapeworks2")

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

    # The software centre's entry, with the version and day of this release.
    set(TW_METAINFO ${PROJECT_BINARY_DIR}/share/metainfo/${TW_APP_ID}.metainfo.xml)
    configure_file(${PROJECT_SOURCE_DIR}/data/tapeworks2.metainfo.xml.in ${TW_METAINFO} @ONLY)
    install(FILES ${TW_METAINFO} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

    # The manual page: help2man turns --help into it and adds the sections of tapeworks2.h2m
    # (environment, files). The day on it is the release's, so that rebuilding gives the same page.
    execute_process(COMMAND date -u -d "${TW_RELEASE_DATE} 12:00" +%s
                    OUTPUT_VARIABLE TW_RELEASE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE)
    set(TW_FULL_DATADIR ${CMAKE_INSTALL_FULL_DATADIR})
    configure_file(${PROJECT_SOURCE_DIR}/data/tapeworks2.h2m.in
                   ${PROJECT_BINARY_DIR}/man/tapeworks2.h2m @ONLY)
    find_program(TW_HELP2MAN help2man)
    if(TW_HELP2MAN)
        set(man ${PROJECT_BINARY_DIR}/man/tapeworks2.1)
        add_custom_command(OUTPUT ${man}.gz
            COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${TW_RELEASE_EPOCH}
                    ${TW_HELP2MAN} --no-info --section=1 --source=${PROJECT_NAME}
                    --include=${PROJECT_BINARY_DIR}/man/tapeworks2.h2m --output=${man}
                    $<TARGET_FILE:tapeworks2>
            COMMAND gzip -9nf ${man}
            DEPENDS tapeworks2 ${PROJECT_BINARY_DIR}/man/tapeworks2.h2m
            COMMENT "Writing the manual page tapeworks2.1 from --help"
            VERBATIM)
        # A sanitizer build makes it only when asked; its installs go without it.
        if(TW_SANITIZE)
            add_custom_target(manpage DEPENDS ${man}.gz)
        else()
            add_custom_target(manpage ALL DEPENDS ${man}.gz)
        endif()
        install(FILES ${man}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 OPTIONAL)
    else()
        message(STATUS "help2man is missing: no manual page (scripts/install-deps.sh installs it)")
    endif()

    # The copyright and the changelog, where Debian keeps them.
    set(TW_PACKAGE_MAINTAINER "Tapeworks2 developers <tapeworks2@example.org>" CACHE STRING
        "The package's maintainer: name <e-mail>")
    execute_process(COMMAND date -u -R -d "${TW_RELEASE_DATE} 12:00"
                    OUTPUT_VARIABLE TW_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in
                   ${PROJECT_BINARY_DIR}/doc/changelog @ONLY)
    execute_process(COMMAND gzip -9nf ${PROJECT_BINARY_DIR}/doc/changelog)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${PROJECT_BINARY_DIR}/doc/changelog.gz
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tapeworks2)

    include(${CMAKE_CURRENT_LIST_DIR}/package.cmake)

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
