# Makes the installer from the portable folder: cmake -DDIST_DIR=... -DOUT_FILE=...
# -DVERSION=a.b.c.d -DICON=... -DMAKENSIS=... -P MakeInstaller.cmake
# Lists every file and folder of the portable folder for the installer's script, so that
# the uninstaller removes exactly what was installed.
foreach(var DIST_DIR OUT_FILE VERSION ICON MAKENSIS)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "MakeInstaller.cmake: ${var} is not set")
    endif()
endforeach()

get_filename_component(lists_dir ${OUT_FILE} DIRECTORY)
set(lists_dir ${lists_dir}/installer-lists)
file(MAKE_DIRECTORY ${lists_dir})

file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${DIST_DIR} ${DIST_DIR}/*)
file(GLOB_RECURSE entries LIST_DIRECTORIES true RELATIVE ${DIST_DIR} ${DIST_DIR}/*)
set(folders ${entries})
if(files)
    list(REMOVE_ITEM folders ${files})
endif()
list(SORT files)
list(SORT folders)

set(install "")
set(uninstall "")
set(current_folder "-")
foreach(file IN LISTS files)
    get_filename_component(folder ${file} DIRECTORY)
    string(REPLACE "/" "\\" native ${file})
    string(REPLACE "/" "\\" native_folder "${folder}")
    if(NOT folder STREQUAL current_folder)
        if(folder STREQUAL "")
            string(APPEND install "SetOutPath \"$INSTDIR\"\n")
        else()
            string(APPEND install "SetOutPath \"$INSTDIR\\${native_folder}\"\n")
        endif()
        set(current_folder ${folder})
    endif()
    string(REPLACE "/" "\\" source "${DIST_DIR}/${file}")
    string(APPEND install "File \"${source}\"\n")
    string(APPEND uninstall "Delete \"$INSTDIR\\${native}\"\n")
endforeach()
# Deepest folders first, each only when empty.
list(REVERSE folders)
foreach(folder IN LISTS folders)
    string(REPLACE "/" "\\" native ${folder})
    string(APPEND uninstall "RMDir \"$INSTDIR\\${native}\"\n")
endforeach()
file(WRITE ${lists_dir}/install-files.nsh "${install}")
file(WRITE ${lists_dir}/uninstall-files.nsh "${uninstall}")

execute_process(
    COMMAND ${MAKENSIS} -V2 -NOCD -DVERSION=${VERSION} -DDIST_DIR=${DIST_DIR}
            -DLISTS_DIR=${lists_dir} -DOUT_FILE=${OUT_FILE} -DICON=${ICON}
            ${CMAKE_CURRENT_LIST_DIR}/brindleaf.nsi
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "makensis failed (${result})")
endif()
