# The Debian package: the three programs in /usr/bin, their manual pages made from their --help by
# help2man, a menu entry with the icon the window draws, the Wireshark dissector, and a postinst that lets
# the two tool programs bind port 23 without root.
include(GNUInstallDirs)
find_program(LUT_HELP2MAN help2man REQUIRED)
find_program(LUT_GZIP gzip REQUIRED)

install(TARGETS ${LUT_PACKAGED_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(summary_logger-update-tool "find data loggers on the local subnet and update their firmware (window)")
set(summary_logger-update "find data loggers on the local subnet and update their firmware")
set(summary_logger-sim "simulated data loggers on loopback addresses, for tests and demonstrations")
set(commands_logger-update search update doctor)
set(man_dir ${CMAKE_CURRENT_BINARY_DIR}/man)
set(package_files "")
foreach(program IN LISTS LUT_PACKAGED_PROGRAMS)
    set(page ${man_dir}/${program}.1)
    set(include ${man_dir}/${program}.h2m)
    set(include_script ${CMAKE_CURRENT_SOURCE_DIR}/debian/ManInclude.cmake)
    set(see_also ${LUT_PACKAGED_PROGRAMS})
    list(REMOVE_ITEM see_also ${program})
    # gzip -n: no name or time stamp inside, so that the page is the same from one build to the next.
    add_custom_command(OUTPUT ${page}.gz
        COMMAND ${CMAKE_COMMAND} -E make_directory ${man_dir}
        COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${program}> "-DCOMMANDS=${commands_${program}}"
                "-DSEE_ALSO=${see_also}" -DOUTPUT=${include} -P ${include_script}
        COMMAND ${LUT_HELP2MAN} --no-info --section=1 --version-string=${PROJECT_VERSION}
                "--name=${summary_${program}}" --include=${include} --output=${page} $<TARGET_FILE:${program}>
        COMMAND ${LUT_GZIP} -9nf ${page}
        DEPENDS ${program} ${include_script}
        COMMENT "Writing the manual page of ${program} from its --help"
        VERBATIM)
    list(APPEND package_files ${page}.gz)
    install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

if(TARGET logger-update-tool)
    add_executable(make-icon-pngs ${CMAKE_CURRENT_SOURCE_DIR}/MakeIconPngs.cpp)
    target_link_libraries(make-icon-pngs PRIVATE lut_app)
    set(icons ${CMAKE_CURRENT_BINARY_DIR}/icons)
    add_custom_command(OUTPUT ${icons}.stamp
        COMMAND ${CMAKE_COMMAND} -E rm -rf ${icons}
        COMMAND make-icon-pngs ${icons}
        COMMAND ${CMAKE_COMMAND} -E touch ${icons}.stamp
        DEPENDS make-icon-pngs
        COMMENT "Drawing the icon as PNGs for the icon theme"
        VERBATIM)
    list(APPEND package_files ${icons}.stamp)
    install(DIRECTORY ${icons}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
    install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/logger-update-tool.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
endif()

# The dissector for the logger protocol, where Wireshark and tshark load Lua plugins for every user.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/wireshark/logger_update.lua
        DESTINATION lib/${CMAKE_LIBRARY_ARCHITECTURE}/wireshark/plugins)

set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_PACKAGE_NAME})
configure_file(debian/changelog.in ${CMAKE_CURRENT_BINARY_DIR}/changelog @ONLY)
add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
    COMMAND ${LUT_GZIP} -9nkf ${CMAKE_CURRENT_BINARY_DIR}/changelog
    DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog
    VERBATIM)
list(APPEND package_files ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz debian/copyright DESTINATION ${doc_dir})
install(FILES debian/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME ${CPACK_PACKAGE_NAME})

add_custom_target(lut_package_files ALL DEPENDS ${package_files})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${LUT_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The Qt libraries and the C++ run-time come from dpkg-shlibdeps; the window's Chinese texts need the
# UMing font, and the postinst needs setcap.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-arphic-uming, libcap2-bin")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_SOURCE_DIR}/debian/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
