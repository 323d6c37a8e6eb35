# What an installation holds: the four programs, their desktop entries and
# icons, and the systemd unit that runs drovane-cli serve on a machine
# without a desktop.
include(GNUInstallDirs)

install(TARGETS Velmora velmora-cli Drovane drovane-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES player/app/velmora.desktop server/app/drovane.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PLAYER_ICON} server/ui/images/drovane.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)

# The unit names drovane-cli where the configured prefix
# (CMAKE_INSTALL_PREFIX) puts it.
file(READ packaging/drovane-serve.service serviceUnit)
string(REPLACE "/usr/local/bin/drovane-cli" "${CMAKE_INSTALL_FULL_BINDIR}/drovane-cli" serviceUnit "${serviceUnit}")
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/packaging/drovane-serve.service CONTENT "${serviceUnit}")
install(FILES ${CMAKE_BINARY_DIR}/packaging/drovane-serve.service DESTINATION lib/systemd/system)
