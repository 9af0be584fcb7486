# SPDX-License-Identifier: GPL-3.0-or-later
# Installed like desktop software: the program and its update package in a folder of their own,
# a link on the PATH, the desktop entry, icons and AppStream data; CPack wraps it all in a .deb.
include(GNUInstallDirs)

# The program finds its package only in the folder of its real executable, so both live in a
# private folder. Not libexec: that is for helpers that other programs run, and this folder
# holds a user's program and its data. Not CMAKE_INSTALL_LIBDIR either: under /usr on Debian
# that is the multiarch folder for shared libraries, and the layout would change with the prefix.
set(TAVRIN_INSTALL_APPDIR "lib/tavrin" CACHE STRING
    "Folder, relative to the prefix, for the program and its update package")
if(IS_ABSOLUTE "${TAVRIN_INSTALL_APPDIR}")
    message(FATAL_ERROR "TAVRIN_INSTALL_APPDIR must be relative to the prefix")
endif()

# Installs a symbolic link in the bin folder to a file in the program's folder. The link is
# relative and made at install time, so it stays right under DESTDIR, in a package, and after
# the installed tree is moved.
function(tavrin_install_link link_name target_name)
    set(link "${CMAKE_INSTALL_BINDIR}/${link_name}")
    set(target "${TAVRIN_INSTALL_APPDIR}/${target_name}")
    set(code [=[
        set(_tavrin_link [[@link@]])
        set(_tavrin_target [[@target@]])
        cmake_path(ABSOLUTE_PATH _tavrin_link BASE_DIRECTORY "${CMAKE_INSTALL_PREFIX}" NORMALIZE)
        cmake_path(ABSOLUTE_PATH _tavrin_target BASE_DIRECTORY "${CMAKE_INSTALL_PREFIX}" NORMALIZE)
        cmake_path(GET _tavrin_link PARENT_PATH _tavrin_link_dir)
        file(RELATIVE_PATH _tavrin_relative "${_tavrin_link_dir}" "${_tavrin_target}")
        file(MAKE_DIRECTORY "$ENV{DESTDIR}${_tavrin_link_dir}")
        message(STATUS "Installing: $ENV{DESTDIR}${_tavrin_link} -> ${_tavrin_relative}")
        file(CREATE_LINK "${_tavrin_relative}" "$ENV{DESTDIR}${_tavrin_link}" SYMBOLIC)
        list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${_tavrin_link}")
    ]=])
    string(CONFIGURE "${code}" code @ONLY)
    install(CODE "${code}")
endfunction()

set(_packaging "${PROJECT_SOURCE_DIR}/packaging")

install(FILES "${_packaging}/tavrin.desktop" DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
# AppStream looks the data up by the component id.
install(FILES "${_packaging}/tavrin.metainfo.xml" DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo"
        RENAME org.tavrin.Tavrin.metainfo.xml)
install(DIRECTORY "${_packaging}/icons/hicolor" DESTINATION "${CMAKE_INSTALL_DATADIR}/icons"
        FILES_MATCHING PATTERN "tavrin.png" PATTERN "tavrin.svg")
# Debian's place, named after the package (GNUInstallDirs would use the project's name).
install(FILES "${_packaging}/copyright" DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/doc/tavrin")

# --- The Debian package -------------------------------------------------------------------------

set(TAVRIN_DEB_MAINTAINER "Tavrin maintainers <maintainers@tavrin.invalid>" CACHE STRING
    "The Maintainer field of the .deb")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavrin)
set(CPACK_PACKAGE_VENDOR "Tavrin")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "${TAVRIN_DEB_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware updater for the VELKOR KX-7 synthesizer")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TAVRIN_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "A small desktop wizard that checks the update package it carries, lets the user pick the
language and the MIDI connection (the synthesizer's own USB port or a MIDI interface), shows
how to prepare the instrument and sends it the firmware as one System Exclusive message.

The package also installs tavrin-updtool, which inspects update packages, lists MIDI output
ports and sends a package without the wizard.")

# dpkg-shlibdeps finds the libraries the executables link. The framework opens the X11 libraries
# with dlopen, which it cannot see, and finds the fonts through fontconfig's configuration file;
# the look and feel uses Liberation Sans and WenQuanYi Micro Hei in place of missing typefaces.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "fonts-liberation2, fonts-wqy-microhei, fontconfig-config, libx11-6, libxext6")
# Cursors, screen layout and scaling on multi-monitor or HiDPI set-ups; the window opens without.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libxcursor1, libxinerama1, libxrandr2, libxrender1")

include(CPack)
