# The Windows build: Wavedial as a GUI program (no console window from the Start menu)
# with its icon and version record, and what `cpack` puts into the portable zip and the
# NSIS installer: both programs, the Qt and MinGW runtime DLLs they load, the platform
# and style plugins, and the licence.
enable_language(RC)

# The icon is painted by the same code as the window icon, by a host build's tool: a
# cross build cannot run its own programs.
set(WAVEDIAL_HOST_ICONS "" CACHE FILEPATH "wavedial-icons of a host build (paints the .ico)")
if(NOT EXISTS "${WAVEDIAL_HOST_ICONS}")
    message(FATAL_ERROR "A Windows build needs WAVEDIAL_HOST_ICONS, the wavedial-icons program "
                        "of a native build (scripts/windows.sh makes one).")
endif()
set(generated ${PROJECT_BINARY_DIR}/packaging)
set(WAVEDIAL_ICO ${generated}/wavedial.ico)
add_custom_command(
    OUTPUT ${WAVEDIAL_ICO}
    COMMAND ${WAVEDIAL_HOST_ICONS} --ico ${WAVEDIAL_ICO}
    DEPENDS ${WAVEDIAL_HOST_ICONS}
    COMMENT "Painting the program's .ico")
# The programs live in other folders, which see the command's output only through a target.
add_custom_target(wavedial_ico DEPENDS ${WAVEDIAL_ICO})

function(wavedial_resources target description)
    set(WAVEDIAL_RC_NAME ${target})
    set(WAVEDIAL_RC_DESCRIPTION ${description})
    configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/wavedial.rc.in
                   ${generated}/${target}.rc @ONLY)
    target_sources(${target} PRIVATE ${generated}/${target}.rc)
    add_dependencies(${target} wavedial_ico)
endfunction()
wavedial_resources(wavedial "Wavedial: set up a function generator over GPIB")
wavedial_resources(wavedial-sim "Wavedial's simulated GPIB bus")
set_target_properties(wavedial PROPERTIES WIN32_EXECUTABLE ON)

install(TARGETS wavedial wavedial-sim RUNTIME DESTINATION .)
install(FILES $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets>
              $<TARGET_FILE:Qt6::Network> ${WAVEDIAL_MINGW_RUNTIME}
        DESTINATION .)
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms)
install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION styles)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)

set(CPACK_PACKAGE_NAME Wavedial)
set(CPACK_PACKAGE_VENDOR "The Wavedial developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Set up a programmable function generator over GPIB")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Wavedial)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Wavedial)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_STRIP_FILES ON)
# The zip holds one folder of the package's name; the installer's name ends in -setup
# (set per generator in the project config file).
set(CPACK_PACKAGE_FILE_NAME wavedial-${PROJECT_VERSION}-win64)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/packaging/windows/cpackconfig.cmake)
# The Start-menu entry and the Apps list ("Wavedial 1.3.1", its icon, its uninstaller).
set(CPACK_PACKAGE_EXECUTABLES wavedial Wavedial)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_NSIS_PACKAGE_NAME Wavedial)
set(CPACK_NSIS_DISPLAY_NAME Wavedial)
set(CPACK_NSIS_INSTALLED_ICON_NAME wavedial.exe)
set(CPACK_NSIS_MUI_ICON ${WAVEDIAL_ICO})
set(CPACK_NSIS_MUI_UNIICON ${WAVEDIAL_ICO})
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
# A 64-bit installer for a 64-bit program: its registry writes (the Apps entry) land in
# the 64-bit view, and it runs where only 64-bit programs run (wine64 alone, for one).
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_URL_INFO_ABOUT https://example.org/wavedial/)
set(CPACK_NSIS_CONTACT wavedial@example.org)
include(CPack)
