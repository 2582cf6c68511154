# The Windows build's packages, made by the target windows-dist into dist/: the portable
# zip (the program folder as it runs from anywhere) and the installer made from the same
# folder with NSIS.
find_program(MAKENSIS makensis REQUIRED)

set(BRINDLEAF_PORTABLE_DIR ${CMAKE_BINARY_DIR}/portable/Brindleaf)
set(BRINDLEAF_DIST_DIR ${CMAKE_BINARY_DIR}/dist)
# Lists go to the deploy script joined by "|", as ";" would split the command's arguments.
string(REPLACE ";" "|" search_dirs "${BRINDLEAF_WINDOWS_DLL_DIRS}")
set(BRINDLEAF_DIST_NAME Brindleaf-${PROJECT_VERSION}-win64)
set(zip ${BRINDLEAF_DIST_DIR}/${BRINDLEAF_DIST_NAME}.zip)
set(installer ${BRINDLEAF_DIST_DIR}/${BRINDLEAF_DIST_NAME}-setup.exe)

# The windows platform and the native style; libcurl is loaded by name on first use, so no
# import names it.
set(plugins platforms/qwindows.dll)
if(EXISTS ${BRINDLEAF_QT_PLUGIN_DIR}/styles/qwindowsvistastyle.dll)
    list(APPEND plugins styles/qwindowsvistastyle.dll)
endif()
string(REPLACE ";" "|" plugins "${plugins}")

add_custom_target(windows-dist
    COMMAND ${CMAKE_COMMAND} -E make_directory ${BRINDLEAF_DIST_DIR}
    COMMAND ${CMAKE_COMMAND}
        -DOUT_DIR=${BRINDLEAF_PORTABLE_DIR} -DBIN_DIR=${BRINDLEAF_BIN_DIR}
        "-DPROGRAMS=brindleaf.exe|brindleaf-combine.exe"
        "-DPLUGINS=${plugins}" -DQT_PLUGIN_DIR=${BRINDLEAF_QT_PLUGIN_DIR}
        -DLOADED=libcurl.dll "-DSEARCH_DIRS=${search_dirs}"
        -DOBJDUMP=${CMAKE_OBJDUMP} -DSTRIP=${CMAKE_STRIP}
        -P ${PROJECT_SOURCE_DIR}/cmake/WindowsDeploy.cmake
    COMMAND ${CMAKE_COMMAND} -E rm -f ${zip}
    COMMAND ${CMAKE_COMMAND} -E chdir ${BRINDLEAF_PORTABLE_DIR}/..
        ${CMAKE_COMMAND} -E tar cf ${zip} --format=zip Brindleaf
    COMMAND ${CMAKE_COMMAND}
        -DDIST_DIR=${BRINDLEAF_PORTABLE_DIR} -DOUT_FILE=${installer} -DVERSION=${PROJECT_VERSION}
        -DICON=${BRINDLEAF_ICO} -DMAKENSIS=${MAKENSIS}
        -P ${PROJECT_SOURCE_DIR}/packaging/windows/MakeInstaller.cmake
    DEPENDS brindleaf brindleaf-combine brindleaf_data
    COMMENT "Making the portable zip and the installer in ${BRINDLEAF_DIST_DIR}"
    VERBATIM)
