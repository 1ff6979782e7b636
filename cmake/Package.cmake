# The Debian package, made by CPack from the install rules (scripts/package.sh). Library
# dependencies are computed with dpkg-shlibdeps; what it cannot see, the plug-ins Qt loads at run
# time, is named here. The MIME, desktop and icon databases are refreshed by their own packages'
# triggers, so the package has no maintainer scripts, and removing it touches nothing of the
# users' or of the organisation's (their files are never part of it).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME cryvan)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tenvik-Labs")
set(CPACK_PACKAGE_CONTACT "Cryvan developers <cryvan@tenviklabs.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "file encryption with data recovery")
set(CPACK_PACKAGE_DESCRIPTION
    "Cryvan encrypts chosen files and folders into one container (.aes) or a self-decrypting\n"
    "program (.aes.exe). Every file is compressed where that pays, then authenticated and\n"
    "encrypted under its own keys. A container opens with the user's password, the user's\n"
    "emergency password, or the passwords of K of N of an organisation's recovery\n"
    "administrators. A wizard in a window or on the terminal, a command line for scripts, and\n"
    "entries in the file managers' menus.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://tenviklabs.com/cryvan")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded by Qt at run time, so invisible to dpkg-shlibdeps: the X11 and Wayland platforms, SVG
# pictures and icons, and the desktops' own dialogs.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, qt6-wayland, libqt6svg6, qt6-gtk-platformtheme | qt6-xdgdesktopportal-platformtheme")
# The stand-alone program's questions without a terminal, and the Files menu extension.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "zenity, python3-nautilus")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)
