# The Debian package (`make package`): what `cmake --install` puts under /usr, plus the
# documents Debian asks of every package, with the dependencies dpkg-shlibdeps reads off the
# binaries and the few run-time ones no binary links (the SoundFont, the Japanese font).
set(MT_DOC_DIR share/doc/marrowtune)
set(MT_CHANGELOG ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${MT_CHANGELOG}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packaging
    COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/packaging/changelog > ${MT_CHANGELOG}
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog
    VERBATIM)
add_custom_target(marrowtune_changelog ALL DEPENDS ${MT_CHANGELOG})
install(FILES ${MT_CHANGELOG} DESTINATION ${MT_DOC_DIR})
install(FILES packaging/copyright THIRD-PARTY DESTINATION ${MT_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME marrowtune)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Below the project's DESCRIPTION, which is the synopsis; lines of at most 80 columns.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Marrowtune plays sound files loaded into eight tracks, fired from the
computer keyboard, MIDI pads, OSC or the buttons on screen. Each track has
loop and hold modes, volume, pan, speed, keep-pitch time stretching and a
choke group; starts can land on the beat of a clock that follows MIDI clock,
JACK transport or Ableton Link. Beside the tracks: a file browser with
preview, an audio-CD player with an A-B loop, a MIDI-file player, a
tap-tempo counter, and sets that travel between machines and live under a
session manager. The program's screens are in Japanese or, chosen in its
settings menu, in English.")
set(CPACK_PACKAGE_CONTACT "Marrowtune developers <marrowtune@users.noreply.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${MARROWTUNE_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "timgm6mb-soundfont | fluid-soundfont-gm, fonts-ipafont-gothic")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "jackd2 | pulseaudio | pipewire-pulse")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Directories dpkg already owns are not the package's to create with other modes.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
