# Fills the portable program folder of the Windows build (script mode):
#   cmake -DOUT_DIR=... -DBIN_DIR=... -DPROGRAMS="a.exe|b.exe" -DPLUGINS="platforms/qwindows.dll|..."
#         -DQT_PLUGIN_DIR=... -DLOADED="libcurl.dll" -DSEARCH_DIRS="dir|..." -DOBJDUMP=... -DSTRIP=...
#         -P WindowsDeploy.cmake
# Copies the programs, the Qt plugins, the libraries loaded by name at run time (LOADED) and
# every library any of them imports that is found in SEARCH_DIRS; a library found nowhere
# there is Windows' own and stays out. Language files and the licence come from BIN_DIR.
cmake_minimum_required(VERSION 3.25)

foreach(var OUT_DIR BIN_DIR PROGRAMS QT_PLUGIN_DIR SEARCH_DIRS OBJDUMP STRIP)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "WindowsDeploy.cmake: ${var} is not set")
    endif()
endforeach()

foreach(var PROGRAMS PLUGINS LOADED SEARCH_DIRS)
    string(REPLACE "|" ";" ${var} "${${var}}")
endforeach()

file(REMOVE_RECURSE ${OUT_DIR})
file(MAKE_DIRECTORY ${OUT_DIR})

# The folder in SEARCH_DIRS holding a library, or empty when none does (a system library).
# Windows matches library names without regard to case.
function(find_library_file out name)
    string(TOLOWER "${name}" lower)
    foreach(dir IN LISTS SEARCH_DIRS)
        file(GLOB candidates LIST_DIRECTORIES false "${dir}/*.dll" "${dir}/*.DLL")
        foreach(candidate IN LISTS candidates)
            get_filename_component(file_name "${candidate}" NAME)
            string(TOLOWER "${file_name}" candidate_lower)
            if(candidate_lower STREQUAL lower)
                set(${out} "${candidate}" PARENT_SCOPE)
                return()
            endif()
        endforeach()
    endforeach()
    set(${out} "" PARENT_SCOPE)
endfunction()

function(imports_of out file)
    execute_process(COMMAND ${OBJDUMP} -p "${file}" OUTPUT_VARIABLE dump RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "WindowsDeploy.cmake: cannot read the imports of ${file}")
    endif()
    string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${dump}")
    list(TRANSFORM lines REPLACE "DLL Name: " "")
    set(${out} ${lines} PARENT_SCOPE)
endfunction()

set(pending "")
foreach(program IN LISTS PROGRAMS)
    file(COPY "${BIN_DIR}/${program}" DESTINATION ${OUT_DIR})
    list(APPEND pending "${BIN_DIR}/${program}")
endforeach()
foreach(plugin IN LISTS PLUGINS)
    get_filename_component(folder "${plugin}" DIRECTORY)
    file(COPY "${QT_PLUGIN_DIR}/${plugin}" DESTINATION "${OUT_DIR}/${folder}")
    list(APPEND pending "${QT_PLUGIN_DIR}/${plugin}")
endforeach()
set(copied "")
foreach(name IN LISTS LOADED)
    find_library_file(path "${name}")
    if(NOT path)
        message(FATAL_ERROR "WindowsDeploy.cmake: ${name} is not in ${SEARCH_DIRS}")
    endif()
    file(COPY "${path}" DESTINATION ${OUT_DIR})
    string(TOLOWER "${name}" lower)
    list(APPEND copied "${lower}")
    list(APPEND pending "${path}")
endforeach()

while(pending)
    list(POP_FRONT pending file)
    imports_of(names "${file}")
    foreach(name IN LISTS names)
        string(TOLOWER "${name}" lower)
        if(lower IN_LIST copied)
            continue()
        endif()
        list(APPEND copied "${lower}")
        find_library_file(path "${name}")
        if(path)
            file(COPY "${path}" DESTINATION ${OUT_DIR})
            list(APPEND pending "${path}")
        endif()
    endforeach()
endwhile()

# Debian's compiler runtime keeps its symbols (libstdc++ alone is 23 MB with them).
file(GLOB_RECURSE binaries "${OUT_DIR}/*.exe" "${OUT_DIR}/*.dll")
foreach(binary IN LISTS binaries)
    execute_process(COMMAND ${STRIP} --strip-unneeded "${binary}" RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "WindowsDeploy.cmake: cannot strip ${binary}")
    endif()
endforeach()

file(COPY "${BIN_DIR}/Languages" "${BIN_DIR}/license.txt" DESTINATION ${OUT_DIR})
