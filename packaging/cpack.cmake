# One Debian package, "sarvel", built with `cpack -G DEB` (scripts/package).
set(CPACK_PACKAGE_NAME sarvel)
set(CPACK_PACKAGE_VENDOR "The Sarvel developers")
set(CPACK_PACKAGE_CONTACT "The Sarvel developers <sarvel@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION "Pick an FTP account, type a command such as GET or PUT,
and watch every state of the transfer with the server's reply; look at the
site's pages in a browser pane. Comes with a demo FTP server on this machine.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
# Libraries from the binaries (the web engine module's too) are worked out by
# dpkg-shlibdeps. Qt loads its platform plugin and the program runs the demo
# server's script at run time, so those are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, python3, python3-pyftpdlib")
include(CPack)
