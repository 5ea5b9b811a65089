# Install rules and the Debian package (make package): the programs in bin, the language packs
# in share/ncferry/language (found there relative to the program), the desktop entry with its
# icons and AppStream data, the manual pages, the auto-mode service with its system user and
# log rotation, the guide, the licence and the changelog.
include(GNUInstallDirs)

install(TARGETS ncferry ncferry-cli ncferry-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/language/English.ini
              ${PROJECT_SOURCE_DIR}/language/繁體中文.ini
              ${PROJECT_SOURCE_DIR}/language/简体中文.ini
        DESTINATION ${CMAKE_INSTALL_DATADIR}/ncferry/language)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/ncferry.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
configure_file(${PROJECT_SOURCE_DIR}/packaging/ncferry.metainfo.xml
               ${PROJECT_BINARY_DIR}/packaging/io.github.ncferry.NCFerry.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/packaging/io.github.ncferry.NCFerry.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# The main window's own picture (the send button's) stands for the program; pixel sizes are
# rendered from it at build time.
install(FILES ${PROJECT_SOURCE_DIR}/app/icons/send.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ncferry.svg)
add_executable(ncferry_icon_png ${PROJECT_SOURCE_DIR}/packaging/icon_png.cpp)
target_link_libraries(ncferry_icon_png PRIVATE Qt6::Gui Qt6::Svg)
set(NCFERRY_ICONS)
foreach(size 48 64 128 256)
  set(png ${PROJECT_BINARY_DIR}/packaging/icons/${size}/ncferry.png)
  add_custom_command(
    OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packaging/icons/${size}
    COMMAND ncferry_icon_png ${PROJECT_SOURCE_DIR}/app/icons/send.svg ${png} ${size}
    DEPENDS ncferry_icon_png ${PROJECT_SOURCE_DIR}/app/icons/send.svg
    VERBATIM)
  list(APPEND NCFERRY_ICONS ${png})
  install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
add_custom_target(ncferry_icons ALL DEPENDS ${NCFERRY_ICONS})

set(NCFERRY_DOC ${CMAKE_INSTALL_DATADIR}/doc/ncferry)
install(FILES ${PROJECT_SOURCE_DIR}/docs/guide.md DESTINATION ${NCFERRY_DOC})
# The pictures the guide shows, beside it as in the source tree.
file(READ ${PROJECT_SOURCE_DIR}/docs/guide.md NCFERRY_GUIDE)
string(REGEX MATCHALL "screenshots/[^)]+\\.png" NCFERRY_GUIDE_PICTURES "${NCFERRY_GUIDE}")
list(REMOVE_DUPLICATES NCFERRY_GUIDE_PICTURES)
list(TRANSFORM NCFERRY_GUIDE_PICTURES PREPEND ${PROJECT_SOURCE_DIR}/docs/)
install(FILES ${NCFERRY_GUIDE_PICTURES} DESTINATION ${NCFERRY_DOC}/screenshots)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/guide.md)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION ${NCFERRY_DOC})

# The auto-mode service as installed: the unit (where Debian 12 keeps packaged units), its
# system user, and the rotation of its logs.
install(FILES ${PROJECT_SOURCE_DIR}/tools/ncferry-auto@.service DESTINATION /lib/systemd/system)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/ncferry.sysusers
        DESTINATION lib/sysusers.d RENAME ncferry.conf)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/ncferry.logrotate
        DESTINATION /etc/logrotate.d RENAME ncferry)

# Debian keeps manual pages and changelogs compressed, without a time stamp in the gzip
# header.
find_program(GZIP_EXECUTABLE gzip REQUIRED)
set(NCFERRY_COMPRESSED)
function(ncferry_gzipped source name destination)
  configure_file(${source} ${PROJECT_BINARY_DIR}/packaging/${name} @ONLY)
  add_custom_command(
    OUTPUT ${PROJECT_BINARY_DIR}/packaging/${name}.gz
    COMMAND sh -c "'${GZIP_EXECUTABLE}' -9n -c '${name}' > '${name}.gz'"
    WORKING_DIRECTORY ${PROJECT_BINARY_DIR}/packaging
    DEPENDS ${PROJECT_BINARY_DIR}/packaging/${name}
    VERBATIM)
  install(FILES ${PROJECT_BINARY_DIR}/packaging/${name}.gz DESTINATION ${destination})
  set(NCFERRY_COMPRESSED ${NCFERRY_COMPRESSED} ${PROJECT_BINARY_DIR}/packaging/${name}.gz
      PARENT_SCOPE)
endfunction()
foreach(page ncferry.1 ncferry-cli.1 ncferry-sim.1)
  ncferry_gzipped(${PROJECT_SOURCE_DIR}/packaging/${page} ${page} ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
ncferry_gzipped(${PROJECT_SOURCE_DIR}/packaging/changelog changelog ${NCFERRY_DOC})
add_custom_target(ncferry_manpage ALL DEPENDS ${NCFERRY_COMPRESSED})

# The maintainer as the package names it (the address the project commits under); a shop
# building its own package puts itself here.
set(NCFERRY_MAINTAINER "NCFerry maintainers <maintainers@users.noreply.c-seed-f2dcd740.example>"
    CACHE STRING "The Debian package's Maintainer field")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ncferry)
set(CPACK_PACKAGE_VENDOR NCFerry)
set(CPACK_PACKAGE_CONTACT "${NCFERRY_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${NCFERRY_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "DNC program for machine shops: NC programs over RS-232")
# Wrapped as Debian's control files want it; CPack indents each line.
set(CPACK_PACKAGE_DESCRIPTION "NCFerry keeps a library of NC part programs in folders and moves
programs between the PC and CNC machine controls over RS-232 lines: send
(paced by XON/XOFF or CTS), receive (ISO and EIA tape code) and an
unattended auto mode in which machines request and return programs
themselves, by cable, through a radio adapter or through a serial device
server (RFC 2217 or raw TCP).
.
ncferry-cli runs the same transfers without windows, and as a systemd
service; ncferry-sim plays a machine control or a radio adapter, for
training and for trying settings without machines.")
# The unit and the log rotation have absolute destinations: staged (DESTDIR), never written
# to the building machine's own /lib and /etc; the rest goes under /usr.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Libraries from dpkg-shlibdeps (Debian's Qt 6 packages with their versions); the plug-ins the
# program loads at run time are named here, since no linker sees them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, libqt6svg6")
# Qt's own dialog texts in the Chinese packs; the packs' characters.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "fonts-noto-cjk")
# The service's user comes with the package, its logs go with a purge; the log rotation is the
# administrator's to change.
foreach(script postinst postrm)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/${script} ${PROJECT_BINARY_DIR}/packaging/${script}
                 COPYONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
                 GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endforeach()
file(WRITE ${PROJECT_BINARY_DIR}/packaging/conffiles "/etc/logrotate.d/ncferry\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/packaging/postinst
    ${PROJECT_BINARY_DIR}/packaging/postrm ${PROJECT_BINARY_DIR}/packaging/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
