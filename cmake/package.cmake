# make deb: the Debian package of what cmake/install.cmake installs, made by CPack's DEB generator
# from a Release build without the tests (the Makefile configures build-deb so, with the prefix
# /usr). Its dependencies come from the program's libraries (dpkg-shlibdeps); the synthesiser that
# the launcher starts and a General MIDI sound font are recommended.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tapeworks2)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TW_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${TW_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fluidsynth, fluid-soundfont-gm | sf2-soundfont-gm")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [[MIDI melody editor on a piano-roll score tape
Tapeworks2 lays out a melody on a score tape: time runs from left to right
and every note is a bar on the row of its note. It is made for arranging
melodies for instruments with a fixed set of notes that play from a punched
tape or a roll.
.
It shows which rows an instrument can play and finds the notes it cannot,
edits note by note and tick by tick with undo, plays on a MIDI port, opens
and saves Standard MIDI Files, and exports the tape as PDF, SVG or PNG.]])
include(CPack)
