# What `cmake --install` puts under the prefix: the two programs, the desktop entry, the
# icon in the hicolor theme, the AppStream metainfo, the manual pages, the licence and the
# changelog. The Debian package (cmake/Packaging.cmake) is made from the same rules.
include(GNUInstallDirs)

# The desktop entry, the icon and the metainfo share one reverse-DNS name, so that
# desktops and software centres tie them together.
set(packaging ${PROJECT_SOURCE_DIR}/packaging)
set(generated ${PROJECT_BINARY_DIR}/packaging)
# Lower case, as the package is named: the doc folder must match it.
set(WAVEDIAL_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/wavedial)
# Folders made by the install are world-readable whatever the builder's umask is.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(TARGETS wavedial wavedial-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${packaging}/${WAVEDIAL_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${packaging}/${WAVEDIAL_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The icon: painted by the same code as the window icon, at build time.
set(icon_sizes 16 22 24 32 48 64 128 256)
set(icon_files ${generated}/icons/scalable/apps/${WAVEDIAL_APP_ID}.svg)
foreach(size IN LISTS icon_sizes)
    list(APPEND icon_files ${generated}/icons/${size}x${size}/apps/${WAVEDIAL_APP_ID}.png)
endforeach()
add_custom_command(
    OUTPUT ${icon_files}
    COMMAND wavedial-icons ${generated}/icons ${WAVEDIAL_APP_ID}
    DEPENDS wavedial-icons
    COMMENT "Painting the icon theme's SVG and PNGs")
add_custom_target(wavedial_icon_theme ALL DEPENDS ${icon_files})
install(DIRECTORY ${generated}/icons/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor)

# Manual pages and the changelog are installed compressed, without a time stamp in the
# gzip header, so that the same sources give the same files.
find_program(GZIP gzip REQUIRED)
set(compressed)
foreach(source IN ITEMS man/wavedial.1 man/wavedial-sim.1 changelog)
    get_filename_component(name ${source} NAME)
    add_custom_command(
        OUTPUT ${generated}/${name}.gz
        COMMAND ${GZIP} -9 -n -c ${packaging}/${source} > ${generated}/${name}.gz
        DEPENDS ${packaging}/${source}
        VERBATIM)
    list(APPEND compressed ${generated}/${name}.gz)
endforeach()
add_custom_target(wavedial_compressed_docs ALL DEPENDS ${compressed})
install(FILES ${generated}/wavedial.1.gz ${generated}/wavedial-sim.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The licence, as LICENSE says it, in the machine-readable copyright form Debian reads.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
string(REGEX REPLACE "\n+$" "" license "${license}")
string(REGEX REPLACE "\n\n" "\n.\n" license "${license}")
string(REGEX REPLACE "\n" "\n " LICENSE_TEXT " ${license}")
configure_file(${packaging}/copyright.in ${generated}/copyright @ONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
install(FILES ${generated}/copyright ${generated}/changelog.gz DESTINATION ${WAVEDIAL_DOCDIR})
