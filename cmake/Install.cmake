# Install layout (`cmake --install build --prefix /usr`, DESTDIR honoured):
#   <prefix>/lib/halvex/halvex        the program, in a folder of its own
#   <prefix>/lib/halvex/7za/7za       link to the system's 7-Zip archiver
#   <prefix>/lib/halvex/7za/7zSD.sfx  the installer module built from 7-Zip's source (sfx/)
#   <prefix>/bin/halvex               relative link to the program: the program finds its
#                                     folder from the resolved executable
#   <prefix>/bin/halvex-obscure       the token tool, which needs no folder of its own
#   <prefix>/lib/halvex/halvex-inspect the package reader, beside the program: it runs the
#                                     same archiver and compares with the same module
#   <prefix>/bin/halvex-inspect       relative link to it, as for the program
# The manual pages and documents come from doc/. ConfigUpdate.exe, and another installer
# module in place of ours, come from the administrator: into the program's folder or into
# /etc/halvex (<prefix>/etc/halvex for a prefix other than /usr); nothing is installed there.

install(TARGETS halvex halvex-inspect RUNTIME DESTINATION ${HALVEX_PROGRAM_SUBFOLDER})
install(TARGETS halvex-obscure RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The build already links build/7za/7za to the archiver; the same link is installed.
install(FILES ${CMAKE_BINARY_DIR}/7za/7za DESTINATION ${HALVEX_PROGRAM_SUBFOLDER}/7za)

# A relative link keeps working under DESTDIR, in a package and for any prefix.
file(RELATIVE_PATH HALVEX_LINK_TARGET /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${HALVEX_PROGRAM_SUBFOLDER}/halvex)
set(HALVEX_PROGRAM_LINK ${CMAKE_BINARY_DIR}/install-links/halvex)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/install-links)
file(CREATE_LINK ${HALVEX_LINK_TARGET} ${HALVEX_PROGRAM_LINK} SYMBOLIC)
file(CREATE_LINK ${HALVEX_LINK_TARGET}-inspect ${HALVEX_PROGRAM_LINK}-inspect SYMBOLIC)
install(FILES ${HALVEX_PROGRAM_LINK} ${HALVEX_PROGRAM_LINK}-inspect DESTINATION ${CMAKE_INSTALL_BINDIR})
