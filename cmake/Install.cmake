# Installs the program as a desktop application (`cmake --install`) and packs the same files as a
# Debian package (`cpack`, the `package` target).
include(GNUInstallDirs)

set(TARSEL_APP_ID com.ombrix.TarselCopyFile)

install(TARGETS TarselCopyFile tarselcopy RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Manual pages go compressed, as Debian's do; -n keeps the archive free of a time stamp.
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/tarselcopy.1.gz
    COMMAND sh -c "gzip -9nc \"$1\" > \"$2\"" sh ${CMAKE_SOURCE_DIR}/packaging/tarselcopy.1
            ${CMAKE_BINARY_DIR}/tarselcopy.1.gz
    DEPENDS ${CMAKE_SOURCE_DIR}/packaging/tarselcopy.1
    VERBATIM)
add_custom_target(manpage ALL DEPENDS ${CMAKE_BINARY_DIR}/tarselcopy.1.gz)
install(FILES ${CMAKE_BINARY_DIR}/tarselcopy.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES packaging/${TARSEL_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/${TARSEL_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(DIRECTORY app/resources/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarselcopyfile)
set(CPACK_PACKAGE_VERSION ${TARSEL_VERSION})
set(CPACK_PACKAGE_VENDOR Ombrix)
set(CPACK_PACKAGE_CONTACT Ombrix)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Put a new release of the Tarsel front end into service")
set(CPACK_PACKAGE_DESCRIPTION [[
Copies a new release of the Tarsel database front end over the copy that
people run, verifies it byte for byte and only then moves it into place,
while ending the Microsoft Access processes that would hold the file open.]])
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# dpkg-shlibdeps names the packages of the libraries the program links; Qt's platform plugins come
# with libqt6gui6, one of them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The face the window is drawn in; dpkg-shlibdeps adds the libraries.
set(CPACK_DEBIAN_PACKAGE_DEPENDS fonts-liberation)
include(CPack)

# The test that installs and packs needs this build's folder; in other builds it skips.
if(TARGET install_test_install)
    target_compile_definitions(install_test_install PRIVATE
        TARSEL_PACKAGING_BUILD="${CMAKE_BINARY_DIR}")
endif()
