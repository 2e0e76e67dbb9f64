# The Debian package of the program, made by `cpack -G DEB` in a build folder
# (scripts/package does it): the program, its desktop entry, its icons and its
# AppStream description. The shared libraries it needs are found from the
# program itself (dpkg-shlibdeps); the rest are named here.
set(CPACK_PACKAGE_NAME morvale)
set(CPACK_PACKAGE_VENDOR "The Morvale developers")
set(CPACK_PACKAGE_CONTACT "The Morvale developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "volume slider and mute button for every application")
set(CPACK_PACKAGE_DESCRIPTION
    "Morvale gives every application that plays audio its own volume slider\n\
and mute button, remembers those volumes, and during a voice call lifts the\n\
other applications by a boost you choose. It lives in the system tray and\n\
works with PulseAudio and with PipeWire's PulseAudio server.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # morvale_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://github.com/morvale/morvale")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The icon theme the icons go into; an audio server to work with, Qt's
# Wayland platform for Wayland desktops (it runs through XWayland without), and
# Qt's own texts (the --help headings, standard buttons) in the user's language.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "hicolor-icon-theme")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pipewire-pulse | pulseaudio, qt6-wayland, qt6-translations-l10n")

include(CPack)
