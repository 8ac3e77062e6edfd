# What "cmake --install" puts under the prefix: the program and its data set in one folder
# (the data folder is the folder that holds the program), a link to the program among the
# commands, the desktop entry and its icons.

include(GNUInstallDirs)
set(TB_INSTALL_GAME_DIR "lib/trailbok" CACHE STRING "Folder under the prefix for the program and its data set")

# The icons the generator draws, in the sizes desktops look for.
set(TB_ICON_SIZES 48 64 128 256)
set(TB_ICONS)
foreach(size ${TB_ICON_SIZES})
  set(icon ${CMAKE_BINARY_DIR}/icons/${size}/trailbok.png)
  add_custom_command(
    OUTPUT ${icon}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}
    COMMAND forge --icon ${icon} ${size}
    DEPENDS forge
    COMMENT "Drawing the ${size} px desktop icon")
  list(APPEND TB_ICONS ${icon})
  install(FILES ${icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
add_custom_target(desktop_icons ALL DEPENDS ${TB_ICONS})

install(TARGETS trailbok RUNTIME DESTINATION ${TB_INSTALL_GAME_DIR})
install(DIRECTORY ${TB_GAME_DIR}/ DESTINATION ${TB_INSTALL_GAME_DIR}
        PATTERN trailbok EXCLUDE)
install(FILES ${PROJECT_SOURCE_DIR}/cmake/trailbok.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# The command is a relative link, so the installed tree can move as a whole. The program
# finds its data through the link's target.
file(RELATIVE_PATH TB_BIN_TO_GAME /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${TB_INSTALL_GAME_DIR})
install(CODE "
  set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  file(MAKE_DIRECTORY \"\${bin}\")
  file(REMOVE \"\${bin}/trailbok\")
  file(CREATE_LINK \"${TB_BIN_TO_GAME}/trailbok\" \"\${bin}/trailbok\" SYMBOLIC)
  message(STATUS \"Installing: \${bin}/trailbok -> ${TB_BIN_TO_GAME}/trailbok\")
")
