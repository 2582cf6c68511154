# The application icon as a Windows .ico, rendered at build time from the one SVG design
# at the sizes Windows asks for (list, taskbar, Explorer views, high DPI).
#
#   brindleaf_windows_icon(<output.ico> <input.svg>)
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
find_program(ICOTOOL icotool REQUIRED)

function(brindleaf_windows_icon ico svg)
    set(sizes 16 20 24 32 40 48 64 96 128)
    set(pngs)
    foreach(size IN LISTS sizes ITEMS 256)
        set(png ${CMAKE_CURRENT_BINARY_DIR}/icon-${size}.png)
        add_custom_command(OUTPUT ${png}
            COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${svg}
            DEPENDS ${svg} VERBATIM)
        list(APPEND pngs ${png})
    endforeach()
    # The largest stays PNG inside the .ico, as Windows expects at 256 pixels.
    list(POP_BACK pngs largest)
    add_custom_command(OUTPUT ${ico}
        COMMAND ${ICOTOOL} -c -o ${ico} ${pngs} --raw=${largest}
        DEPENDS ${pngs} ${largest} VERBATIM)
endfunction()
