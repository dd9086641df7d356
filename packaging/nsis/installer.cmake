# The Windows installer, one a build (windows-x86, windows-x64): CPack's NSIS generator with the template
# here. It installs the programs this build has (the window, and the command line once it is built for
# Windows) and the Wireshark dissector into Program Files, with a Start menu entry, inbound firewall rules for UDP 23 and 8000 for
# those programs only, version information, the window's icon and an uninstaller that undoes it all.
# An NSIS installer installs silently with /S.
install(TARGETS ${LUT_PACKAGED_PROGRAMS} RUNTIME DESTINATION .)
# The Wireshark dissector beside the programs, for the user to copy into Wireshark's plugin folder.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/wireshark/logger_update.lua DESTINATION .)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(arch win64)
    set(nsis_target amd64-unicode)
else()
    set(arch win32)
    set(nsis_target x86-unicode)
endif()

# The .ico the Windows window carries, drawn at build time by win32/.
set(icon ${PROJECT_BINARY_DIR}/win32/logger-update-tool.ico)
add_custom_target(lut_package_files ALL)
add_dependencies(lut_package_files lut_win32_icon ${LUT_PACKAGED_PROGRAMS})

# CPack writes these into its configuration file unescaped: single quotes and no backslashes survive that.
set(firewall_add "")
set(firewall_remove "")
foreach(program IN LISTS LUT_PACKAGED_PROGRAMS)
    set(rule "${CPACK_PACKAGE_INSTALL_DIRECTORY} (${program})")
    string(APPEND firewall_add "    !insertmacro AllowInbound '${rule}' '${program}.exe'\n")
    string(APPEND firewall_remove "    !insertmacro RemoveInbound '${rule}'\n")
endforeach()

list(PREPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_SOURCE_DIR}/nsis)
set(CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${arch})
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY LoggerUpdateTool)
set(CPACK_NSIS_DISPLAY_NAME "Logger Update Tool")
set(CPACK_NSIS_DEFINES "Target ${nsis_target}")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES")
set(CPACK_NSIS_UNINSTALL_NAME Uninstall)
set(CPACK_NSIS_MUI_ICON ${icon})
set(CPACK_NSIS_MUI_UNIICON ${icon})
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "${firewall_add}")
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "${firewall_remove}")
