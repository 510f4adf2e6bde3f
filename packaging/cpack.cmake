# One Debian package, "sarvel", built with `cpack -G DEB` (scripts/package),
# which also runs lintian on it. The copyright file, the changelog and the
# manual page are installed by packaging/CMakeLists.txt.
set(CPACK_PACKAGE_NAME sarvel)
set(CPACK_PACKAGE_VENDOR "The Sarvel developers")
# GitHub's no-reply domain, under the project's GitHub name (the application
# id is io.github.sarvel.sarvel): a real mail domain without a private address.
set(CPACK_PACKAGE_CONTACT "Sarvel developers <sarvel@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# One paragraph per line group; CPack indents each line, and an empty line
# becomes the " ." that separates paragraphs.
set(CPACK_PACKAGE_DESCRIPTION "Sarvel is a one-window console for trying out FTP transfers. Pick an FTP
account from the built-in site list or add one, type a command such as GET,
PUT, DIR or CD, and watch every state change of the transfer with the
server's reply code and text. Retrieved data can be read 1024 bytes at a
time, and a protocol log shows the whole conversation with the server.

Every login asks for TLS first. The account goes to a server whose
certificate cannot be verified, or to one without encryption anywhere but on
this machine, only once the operator agrees.

The window also holds a browser pane for the site's web pages and lists the
photo files of a local folder. A demo FTP server on this machine
(127.0.0.1:2121) lets everything be tried at once.")
set(CPACK_STRIP_FILES ON)
# The Debian revision: the package is version 0.1-1, which must be the
# changelog's newest entry.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(package_version ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/changelog newest_entry LIMIT_COUNT 1)
if(NOT newest_entry MATCHES "^sarvel \\(${package_version}\\) ")
  message(FATAL_ERROR "packaging/changelog: the newest entry is not version ${package_version}")
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Libraries from the binaries (the web engine module's too) are worked out by
# dpkg-shlibdeps. Qt loads its platform plugin, and the program runs the demo
# servers' Python scripts (pyftpdlib for FTP, asyncssh for SFTP) at run time,
# so those are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "qt6-qpa-plugins, python3, python3-pyftpdlib, python3-asyncssh")
include(CPack)
