# The Debian package: `cpack -G DEB --config build/CPackConfig.cmake` makes
# halvex_<version>_amd64.deb from the same install rules a source install uses, so the two
# cannot drift apart. dpkg-shlibdeps computes the shared-library dependencies.
set(HALVEX_PACKAGE_MAINTAINER "Halvex maintainers <maintainers@users.noreply.c-seed-0ac35a4f.example>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME halvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${HALVEX_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "builds self-extracting installers of an endpoint-security suite")
# The summary is the synopsis line; this text is the extended description below it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Halvex turns the Veskor endpoint-security suite's software distribution folder
(the CID) into one self-extracting Windows installer: it copies the chosen
components, writes the client's setup script, compresses everything with 7-Zip
and joins the installer module in front. It runs as a dialog or, with -cli,
from scripts on a build host. halvex-obscure turns update passwords into the
obscured tokens the command line takes; halvex-inspect shows what a finished
package will do on a client, and checks its checksum and signature.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Beside the computed libraries: the archiver the program runs as /usr/bin/7za, and the
# toolkit's display plugins, without which the dialog cannot open.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "p7zip-full, qt6-qpa-plugins")
# Signing packages and checking their signatures.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "osslsigncode")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
