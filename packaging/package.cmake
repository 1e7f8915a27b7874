# The Debian package (scripts/package.sh): CPack's DEB generator over the
# install rules, plus what Debian's policy asks of every binary package: a
# copyright file, a compressed changelog, compressed manual pages and
# stripped programs.
include(GNUInstallDirs)
set(KIV_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/kiv)
set(KIV_PACKAGE_DIR ${CMAKE_BINARY_DIR}/package-files)

# The changelog's date is the source's, not the build's: SOURCE_DATE_EPOCH
# when set (CMake's TIMESTAMP honours it), else the last commit's time, so
# that the same source gives the same package.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND git -C ${PROJECT_SOURCE_DIR} log -1 --format=%ct
                  OUTPUT_VARIABLE KIV_COMMIT_TIME OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE KIV_GIT_RESULT ERROR_QUIET)
  if(KIV_GIT_RESULT EQUAL 0 AND KIV_COMMIT_TIME MATCHES "^[0-9]+$")
    set(ENV{SOURCE_DATE_EPOCH} ${KIV_COMMIT_TIME})
  endif()
endif()
string(TIMESTAMP KIV_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/changelog.in
               ${KIV_PACKAGE_DIR}/changelog @ONLY)

# gzip -n: no name or time stamp inside, so the same files give the same
# package.
set(KIV_GZIPPED ${KIV_PACKAGE_DIR}/changelog.gz)
add_custom_command(OUTPUT ${KIV_PACKAGE_DIR}/changelog.gz
  COMMAND gzip -9nf -k ${KIV_PACKAGE_DIR}/changelog
  DEPENDS ${KIV_PACKAGE_DIR}/changelog)
foreach(page kiv.1 kiv-cli.1)
  add_custom_command(OUTPUT ${KIV_PACKAGE_DIR}/${page}.gz
    COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/docs/man/${page} > ${KIV_PACKAGE_DIR}/${page}.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/man/${page})
  list(APPEND KIV_GZIPPED ${KIV_PACKAGE_DIR}/${page}.gz)
  install(FILES ${KIV_PACKAGE_DIR}/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
add_custom_target(kiv_package_files ALL DEPENDS ${KIV_GZIPPED})
install(FILES ${KIV_PACKAGE_DIR}/changelog.gz
              ${PROJECT_SOURCE_DIR}/packaging/debian/copyright
        DESTINATION ${KIV_DOC_DIR})

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kiv)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "KIV developers <kiv-dev@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "numeric signal generator on a serial line")
# The extended description: each line of it becomes one line of the
# control file's Description.
set(CPACK_PACKAGE_DESCRIPTION
"KIV turns a PC into a signal source for serial receivers. Once per send
period it composes a frame of up to ten bytes, each a decimal constant or
the current 8-bit A/D value of a sine, rectangular or sawtooth wave,
optionally with uniform noise, and writes it to a serial port.
.
This package holds the window (kiv, with Chinese user interface) and
kiv-cli, the same generator without a window for scripts and test benches.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The window needs a platform plugin, which Qt's libraries only recommend,
# and a font with Chinese glyphs, or every label shows boxes (an install
# without recommends must still read). The toolkit's Chinese catalogs put
# its standard buttons and dialogs in Chinese too; without them those stay
# in English.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-wqy-microhei | fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
include(CPack)
