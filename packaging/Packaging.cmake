# Install rules and the Debian package (make package): the two programs in bin, the language
# packs in share/ncferry/language (found there relative to the program), a desktop entry with
# the program's icon and the manual page of ncferry-cli.
include(GNUInstallDirs)

install(TARGETS ncferry ncferry-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/language/English.ini
              ${PROJECT_SOURCE_DIR}/language/繁體中文.ini
              ${PROJECT_SOURCE_DIR}/language/简体中文.ini
        DESTINATION ${CMAKE_INSTALL_DATADIR}/ncferry/language)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/ncferry.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# The main window's own picture (the send button's) stands for the program.
install(FILES ${PROJECT_SOURCE_DIR}/app/icons/send.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ncferry.svg)
install(FILES ${PROJECT_SOURCE_DIR}/docs/guide.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/ncferry)
install(FILES ${PROJECT_SOURCE_DIR}/tools/ncferry-auto@.service
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/ncferry/examples)

# Debian keeps manual pages compressed, without a time stamp in the gzip header.
configure_file(${PROJECT_SOURCE_DIR}/packaging/ncferry-cli.1
               ${PROJECT_BINARY_DIR}/packaging/ncferry-cli.1 @ONLY)
find_program(GZIP_EXECUTABLE gzip REQUIRED)
add_custom_command(
  OUTPUT ${PROJECT_BINARY_DIR}/packaging/ncferry-cli.1.gz
  COMMAND sh -c "'${GZIP_EXECUTABLE}' -9n -c ncferry-cli.1 > ncferry-cli.1.gz"
  WORKING_DIRECTORY ${PROJECT_BINARY_DIR}/packaging
  DEPENDS ${PROJECT_BINARY_DIR}/packaging/ncferry-cli.1
  VERBATIM)
add_custom_target(ncferry_manpage ALL DEPENDS ${PROJECT_BINARY_DIR}/packaging/ncferry-cli.1.gz)
install(FILES ${PROJECT_BINARY_DIR}/packaging/ncferry-cli.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ncferry)
set(CPACK_PACKAGE_VENDOR NCFerry)
set(CPACK_PACKAGE_CONTACT "NCFerry developers <ncferry@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "DNC program for machine shops: NC programs over RS-232")
set(CPACK_PACKAGE_DESCRIPTION "NCFerry keeps a library of NC part programs in folders and \
moves programs between the PC and CNC machine controls over RS-232 lines: send, receive (ISO \
and EIA tape code) and an unattended auto mode in which machines request and return programs \
themselves, by cable or through a radio adapter. ncferry-cli runs the same transfers without \
windows.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# Libraries from dpkg-shlibdeps (Debian's Qt 6 packages with their versions); the plug-ins the
# program loads at run time are named here, since no linker sees them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, libqt6svg6")
# Qt's own dialog texts in the Chinese packs.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
include(CPack)
