# Debian package of the program: `cpack -G DEB` in the build folder.
# Include this file from the top-level CMakeLists.txt after all subdirectories,
# so that every install rule (the executable's and the desktop files') is known.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvelin-radio)
# The program's version text, from the project version (top-level CMakeLists.txt).
set(CPACK_PACKAGE_VERSION ${RADIO_VERSION_TEXT})
set(CPACK_PACKAGE_VENDOR "http://www.tarvelin.example.com")
set(CPACK_PACKAGE_CONTACT "A. Example <author@tarvelin.example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Internet radio player for Bangla-language stations")
set(CPACK_PACKAGE_DESCRIPTION
    "A small skinned internet-radio player with a built-in list of Bangla-language
stations. Pick a station by name and the player opens its stream and plays it.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY tarvelin-radio)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.tarvelin.example.com")
# Shared-library dependencies come from dpkg-shlibdeps (package dpkg-dev);
# the fonts the windows name are added by hand.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-comic-neue, fonts-beng")

include(CPack)
