# Debian packages of the Linux build, made by CPack's DEB generator (scripts/package-deb):
#   vorn-tools     vorn-publish and vorn-update with their manual pages
#   vorn-launcher  the window and its helper in /usr/lib/vorn-launcher (the launcher finds its
#                  catalogues, launcher.json and key beside its executable, and the marker
#                  installed-by-package that turns its self-update off), a vorn-launcher
#                  command, a menu entry and the icon in every size of the icon file
# The install() rules of the programs sit beside their targets, under if(VORN_PACKAGING).
if(WIN32 OR CMAKE_CROSSCOMPILING)
  return()
endif()

set(VORN_PACKAGING ON)
set(VORN_LAUNCHER_INSTALL_DIR "lib/vorn-launcher")
# A studio's own launcher.json and public-key.blob, packaged beside the launcher when given.
set(VORN_LAUNCHER_CONFIG_DIR "" CACHE PATH
    "Folder with launcher.json and public-key.blob to package with the launcher")

set(vorn_maintainer "VORN Launcher developers <launcher@ostravel.example>")
set(vorn_pkg_dir "${PROJECT_BINARY_DIR}/packaging")
set(vorn_pkg_src "${PROJECT_SOURCE_DIR}/packaging")
file(MAKE_DIRECTORY "${vorn_pkg_dir}")

find_program(VORN_HELP2MAN help2man)
find_program(VORN_GZIP gzip REQUIRED)

# Manual pages from the programs' own --help, so they never drift from it. Without help2man
# the packages are still configured; scripts/package-deb installs it.
set(vorn_man_pages "")
function(vorn_help_man_page target description commands)
  set(page "${vorn_pkg_dir}/${target}.1")
  add_custom_command(OUTPUT "${page}.gz"
    COMMAND ${CMAKE_COMMAND} -E env "VORN_HELP_PROGRAM=$<TARGET_FILE:${target}>"
            "VORN_HELP_NAME=${target}" "VORN_HELP_VERSION=${PROJECT_VERSION}"
            "VORN_HELP_COMMANDS=${commands}" QT_QPA_PLATFORM=offscreen
            "${VORN_HELP2MAN}" --no-info --name "${description}" --output "${page}"
            "${vorn_pkg_src}/help-source"
    # -n: no name or time in the header, so the same page gives the same bytes.
    COMMAND "${VORN_GZIP}" -9nf "${page}"
    DEPENDS ${target} "${vorn_pkg_src}/help-source"
    VERBATIM)
  set(vorn_man_pages ${vorn_man_pages} "${page}.gz" PARENT_SCOPE)
endfunction()

configure_file("${vorn_pkg_src}/vorn-launcher.1" "${vorn_pkg_dir}/vorn-launcher.1" @ONLY)
add_custom_command(OUTPUT "${vorn_pkg_dir}/vorn-launcher.1.gz"
  COMMAND "${VORN_GZIP}" -9nkf "${vorn_pkg_dir}/vorn-launcher.1"
  DEPENDS "${vorn_pkg_dir}/vorn-launcher.1" VERBATIM)

# Each package carries its copyright and a Debian changelog.
set(vorn_changelogs "")
foreach(package vorn-tools vorn-launcher)
  set(PACKAGE ${package})
  set(VERSION ${PROJECT_VERSION})
  set(MAINTAINER "${vorn_maintainer}")
  configure_file("${vorn_pkg_src}/changelog.in" "${vorn_pkg_dir}/${package}/changelog" @ONLY)
  add_custom_command(OUTPUT "${vorn_pkg_dir}/${package}/changelog.gz"
    COMMAND "${VORN_GZIP}" -9nkf "${vorn_pkg_dir}/${package}/changelog"
    DEPENDS "${vorn_pkg_dir}/${package}/changelog" VERBATIM)
  list(APPEND vorn_changelogs "${vorn_pkg_dir}/${package}/changelog.gz")
endforeach()

add_executable(vorn-icon-sizes "${vorn_pkg_src}/icon-sizes.cpp")
target_link_libraries(vorn-icon-sizes PRIVATE Qt5::Gui)
set(vorn_icon_sizes 16 24 32 48 64 128 256)
set(vorn_icons "")
foreach(size ${vorn_icon_sizes})
  list(APPEND vorn_icons "${vorn_pkg_dir}/icons/${size}x${size}.png")
endforeach()
add_custom_command(OUTPUT ${vorn_icons}
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen $<TARGET_FILE:vorn-icon-sizes>
          "${PROJECT_SOURCE_DIR}/assets/launcher-icon.ico" "${vorn_pkg_dir}/icons"
  DEPENDS vorn-icon-sizes "${PROJECT_SOURCE_DIR}/assets/launcher-icon.ico" VERBATIM)

# `vorn-launcher` on the PATH; the launcher resolves the link and finds its folder.
file(MAKE_DIRECTORY "${vorn_pkg_dir}/bin")
file(CREATE_LINK "../${VORN_LAUNCHER_INSTALL_DIR}/VornLauncher" "${vorn_pkg_dir}/bin/vorn-launcher"
     SYMBOLIC)

# Built with `all` only where help2man exists, so a machine without it still builds.
if(VORN_HELP2MAN)
  vorn_help_man_page(vorn-publish "publish signed game releases to a static update repository"
                     "keygen release refresh verify prune")
  vorn_help_man_page(vorn-update "check for and install a signed game release without a window" "")
  add_custom_target(vorn-package-files ALL
    DEPENDS ${vorn_man_pages} "${vorn_pkg_dir}/vorn-launcher.1.gz" ${vorn_changelogs} ${vorn_icons})

  install(FILES ${vorn_man_pages} DESTINATION share/man/man1 COMPONENT tools)
  install(FILES "${vorn_pkg_dir}/vorn-launcher.1.gz" DESTINATION share/man/man1 COMPONENT launcher)
  foreach(package tools launcher)
    install(FILES "${vorn_pkg_src}/copyright" "${vorn_pkg_dir}/vorn-${package}/changelog.gz"
            DESTINATION share/doc/vorn-${package} COMPONENT ${package})
  endforeach()
  install(FILES "${vorn_pkg_dir}/bin/vorn-launcher" DESTINATION bin COMPONENT launcher)
  install(FILES "${vorn_pkg_src}/vorn-launcher.desktop" DESTINATION share/applications
          COMPONENT launcher)
  foreach(size ${vorn_icon_sizes})
    install(FILES "${vorn_pkg_dir}/icons/${size}x${size}.png"
            DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME vorn-launcher.png
            COMPONENT launcher)
  endforeach()
  install(DIRECTORY "${PROJECT_SOURCE_DIR}/locales/" DESTINATION "${VORN_LAUNCHER_INSTALL_DIR}/locales"
          COMPONENT launcher FILES_MATCHING PATTERN "*.ini")
  # Tells the launcher that the package manager owns its folder: it skips its own channel.
  install(FILES "${vorn_pkg_src}/installed-by-package" DESTINATION "${VORN_LAUNCHER_INSTALL_DIR}"
          COMPONENT launcher)
  if(VORN_LAUNCHER_CONFIG_DIR)
    install(FILES "${VORN_LAUNCHER_CONFIG_DIR}/launcher.json" "${VORN_LAUNCHER_CONFIG_DIR}/public-key.blob"
            DESTINATION "${VORN_LAUNCHER_INSTALL_DIR}" COMPONENT launcher)
  endif()
else()
  message(STATUS "help2man not found: the Debian packages cannot be made (scripts/install-deps)")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vorn)
set(CPACK_PACKAGE_VENDOR "Ostravel")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "${vorn_maintainer}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL tools launcher)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME vorn-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
set(CPACK_COMPONENT_TOOLS_DESCRIPTION
    "publisher and headless updater of Ostravel releases
vorn-publish makes release keys, publishes a game folder as a signed release
of content-defined chunks into a static repository, and refreshes, verifies
and prunes it. vorn-update checks the update servers and installs the
current release into a game folder without a window.")
set(CPACK_DEBIAN_LAUNCHER_PACKAGE_NAME vorn-launcher)
set(CPACK_DEBIAN_LAUNCHER_PACKAGE_SECTION net)
set(CPACK_COMPONENT_LAUNCHER_DESCRIPTION
    "launcher and updater of the online game Ostravel
The launcher window keeps the game folder in step with signed releases,
downloading only the chunks it lacks and verifying every byte, starts the
game client, shows the game's news and stays in the notification area.")
include(CPack)
