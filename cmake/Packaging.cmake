# Installation and the Debian package: the programs in bin, the desktop entry,
# the icon, the AppStream metainfo and the package's documents.
#   cmake --install BUILD --prefix /usr          (or DESTDIR=... for a staging root)
#   cd BUILD && cpack                            (panelix_VERSION_ARCH.deb)
include(GNUInstallDirs)

set(PANELIX_MAINTAINER "Panelix maintainers <maintainers@panelix.example>"
    CACHE STRING "Maintainer of the Debian package")

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(panelix_programs)
foreach(program panelix panelix-cli panelix-sim panelix-mkfont panelix-mkdemo)
  if(TARGET ${program})
    list(APPEND panelix_programs ${program})
  endif()
endforeach()
install(TARGETS ${panelix_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(app_id org.panelix.panelix)
set(dist ${PROJECT_SOURCE_DIR}/dist)
set(dist_out ${PROJECT_BINARY_DIR}/dist)
configure_file(${dist}/${app_id}.metainfo.xml.in ${dist_out}/${app_id}.metainfo.xml @ONLY)
install(FILES ${dist}/${app_id}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${dist}/${app_id}.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${dist_out}/${app_id}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Debian wants the changelog compressed to the maximum and without a time stamp.
find_program(GZIP_PROGRAM gzip REQUIRED)
execute_process(COMMAND ${GZIP_PROGRAM} -9nc ${dist}/changelog
                OUTPUT_FILE ${dist_out}/changelog.gz COMMAND_ERROR_IS_FATAL ANY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${dist}/changelog)
install(FILES ${dist}/copyright ${dist_out}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/panelix)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME panelix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${PANELIX_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${PANELIX_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "tool for a 320x240 monochrome LCD module on a serial line
Panelix drives a 320 x 240 monochrome graphic LCD module over an RS-232 line
at 19,200 baud: it packs 1-bit BMP pictures into one download image and sends
it, sends a 16 x 16 Chinese dot-matrix font, composes display commands in a
hex console and tests the line. The window speaks Chinese, or English with
--lang en. The package also holds the command line tool, a simulated module
(panelix-sim) and the tools that make demo pictures and a demo font.")
# The Qt 6 libraries and the C++ runtime from the binaries themselves; the CJK
# font the window's captions need, which no binary links.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wqy-microhei")
# Qt's own Chinese (the file dialog, message boxes) comes from qt6-translations-l10n.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-image-formats-plugins, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "unifont")
include(CPack)
