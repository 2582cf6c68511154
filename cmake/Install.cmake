# Installation: the programs and their files stay together in one folder, as the
# program looks for its language files and licence text beside its real executable;
# bin/ holds links to it. Desktop entry, icons and metainfo go where desktops look.
include(GNUInstallDirs)

set(BRINDLEAF_INSTALL_APPDIR "lib/brindleaf" CACHE STRING
    "Folder below the prefix that holds the programs and their files")
set(BRINDLEAF_APP_ID "com.quenlow.brindleaf")

set(brindleaf_programs brindleaf brindleaf-combine)

install(TARGETS ${brindleaf_programs} RUNTIME DESTINATION ${BRINDLEAF_INSTALL_APPDIR})
install(FILES ${BRINDLEAF_LANGUAGE_FILES} DESTINATION ${BRINDLEAF_INSTALL_APPDIR}/Languages)
install(FILES ${CMAKE_SOURCE_DIR}/share/license.txt DESTINATION ${BRINDLEAF_INSTALL_APPDIR})

# Relative links, made at configure time and installed as links, so the installed tree
# can be moved or packaged.
file(RELATIVE_PATH link_target /${CMAKE_INSTALL_BINDIR} /${BRINDLEAF_INSTALL_APPDIR})
foreach(program ${brindleaf_programs})
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/install-links)
    file(CREATE_LINK ${link_target}/${program} ${CMAKE_BINARY_DIR}/install-links/${program} SYMBOLIC)
    install(FILES ${CMAKE_BINARY_DIR}/install-links/${program} DESTINATION ${CMAKE_INSTALL_BINDIR})
endforeach()

install(FILES ${CMAKE_SOURCE_DIR}/share/applications/${BRINDLEAF_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/share/metainfo/${BRINDLEAF_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The icon: the SVG as the scalable one, PNG renderings for the fixed sizes.
# One design everywhere: the window icon, drawn on a 16-pixel grid so it stays crisp small.
set(icon_svg ${CMAKE_SOURCE_DIR}/src/gui/resources/icons/brindleaf.svg)
install(FILES ${icon_svg} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${BRINDLEAF_APP_ID}.svg)
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
set(icon_pngs)
foreach(size 16 24 32 48 64 128 256)
    set(png ${CMAKE_BINARY_DIR}/icons/${size}/${BRINDLEAF_APP_ID}.png)
    add_custom_command(OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}
        COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${icon_svg}
        DEPENDS ${icon_svg} VERBATIM)
    list(APPEND icon_pngs ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
add_custom_target(brindleaf_icons ALL DEPENDS ${icon_pngs})

# Debian package: `make package`.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brindleaf)
set(CPACK_PACKAGE_VENDOR QUENLOW)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Combine several XML files into one")
set(CPACK_PACKAGE_DESCRIPTION
    "Brindleaf collects XML files in a list and writes one document: the first file's\
 document with the content of every further file's root element appended in order.")
set(CPACK_PACKAGE_CONTACT "QUENLOW <support@quenlow.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Plugins that Qt loads at run time, and libcurl, which the program loads on first use,
# so no library dependency reveals them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libcurl4")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
include(CPack)
