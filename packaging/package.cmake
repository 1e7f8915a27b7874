# What an installation holds besides the programs, the desktop entry and the
# icons (src/CMakeLists.txt): the manual pages and what software centres
# read. The Debian package (debian/, scripts/package.sh) installs these
# through debhelper, which compresses the pages and adds the changelog and
# the copyright file.
include(GNUInstallDirs)
install(FILES ${PROJECT_SOURCE_DIR}/docs/man/kiv.1 ${PROJECT_SOURCE_DIR}/docs/man/kiv-cli.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/org.example.kiv.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
