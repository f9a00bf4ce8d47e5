# Installs the program as a desktop application (`cmake --install`).
include(GNUInstallDirs)

set(TARSEL_APP_ID com.ombrix.TarselCopyFile)

install(TARGETS TarselCopyFile RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES packaging/${TARSEL_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/${TARSEL_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(DIRECTORY app/resources/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
