# The Debian package, built by CPack from the install rules: the program, its desktop entry,
# icon and metainfo. Its dependencies are read from the shared libraries the program links
# (dpkg-shlibdeps), so they follow whatever Qt it was built against, plus Qt's translations.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvane)
# The version the program reports.
set(CPACK_PACKAGE_VERSION 1.00)
set(CPACK_PACKAGE_VENDOR Belmaro)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Una sola ventana con un servidor TCP, un cliente TCP o UDP y un puerto serie a la vez.\n"
    "Cada trozo que llega por cualquiera de los tres enlaces se ve en el registro de su enlace\n"
    "y como una fila de códigos decimales en una lista común; el texto de salida se puede\n"
    "componer por código de carácter. Los 256 valores de byte pasan sin cambios.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(QUORVANE_PACKAGE_MAINTAINER "Belmaro <quorvane@belmaro.invalid>"
    CACHE STRING "The Maintainer field of the Debian package")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUORVANE_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What the window needs besides the libraries dpkg-shlibdeps finds: the stand-ins for the
# design's Windows fonts, the control pictures of the outgoing boxes, and Qt's own dialogs (the
# file dialog, its overwrite question) in Spanish.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation, fonts-symbola, qt6-translations-l10n")

include(CPack)
