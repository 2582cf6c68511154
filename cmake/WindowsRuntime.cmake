# Where the Windows build finds the libraries its programs load: the SDK's Qt and
# libraries, the compiler's runtime (libstdc++, libgcc, winpthread) and zlib. The portable
# folder takes its libraries from here; tests under Wine load them from here (WINEPATH).
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
    OUTPUT_VARIABLE _libstdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(_compiler_runtime_dir "${_libstdcxx}" DIRECTORY)
set(BRINDLEAF_WINDOWS_DLL_DIRS
    ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_BINS}
    ${BRINDLEAF_WINSDK}/deps/bin
    ${_compiler_runtime_dir}
    ${BRINDLEAF_MINGW_SYSROOT}/lib)
set(BRINDLEAF_QT_PLUGIN_DIR ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_PLUGINS})

# The same folders as a WINEPATH value: Wine sees the host's / as drive Z:.
set(BRINDLEAF_WINEPATH "")
foreach(dir IN LISTS BRINDLEAF_WINDOWS_DLL_DIRS)
    string(REPLACE "/" "\\" native "Z:${dir}")
    list(APPEND BRINDLEAF_WINEPATH "${native}")
endforeach()
string(JOIN ";" _winepath ${BRINDLEAF_WINEPATH})
file(WRITE ${CMAKE_BINARY_DIR}/winepath.txt "${_winepath}")
