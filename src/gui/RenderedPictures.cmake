# The icons and pictures of the windows, rendered from their SVG sources at build time at
# the sizes the windows show them and at twice those for screens of double density
# (name and name@2x), and compiled into the library as the resource "rendered". The program
# then needs no SVG renderer at run time, and every build shows the same pixels.
#
# Each picture is kept as its plain pixels (cmake/png_to_pixels.py): the window reads them
# with no image decoder, whose first use alone, with its search for format plugins, took
# longer than the rest of the pictures. The resource compiler compresses them, except those
# the main window shows at start, which it then reads in place. The PNG renderings go into
# the resource "rendered_png" of the target brindleaf-rendered-png, for tests to compare
# with.
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(_rendered_dir ${CMAKE_CURRENT_BINARY_DIR}/rendered)
set(_rendered_entries "")
set(_rendered_png_entries "")

# brindleaf_render(SVG NAME WIDTH HEIGHT [ONE_SIZE] [AT_START]): NAME at WIDTH x HEIGHT and,
# unless ONE_SIZE, NAME@2x at twice that; NAME is the path inside the resource. AT_START
# leaves the pixels uncompressed.
function(brindleaf_render svg name width height)
    cmake_parse_arguments(PARSE_ARGV 4 arg "ONE_SIZE;AT_START" "" "")
    set(variants "${name}:1")
    if(NOT arg_ONE_SIZE)
        list(APPEND variants "${name}@2x:2")
    endif()
    set(compression "")
    if(arg_AT_START)
        set(compression " compression-algorithm=\"none\"")
    endif()
    foreach(variant ${variants})
        string(REPLACE ":" ";" parts ${variant})
        list(GET parts 0 file)
        list(GET parts 1 scale)
        math(EXPR w "${width} * ${scale}")
        math(EXPR h "${height} * ${scale}")
        set(png ${_rendered_dir}/${file}.png)
        set(pixels ${_rendered_dir}/${file}.pixels)
        get_filename_component(folder ${png} DIRECTORY)
        add_custom_command(OUTPUT ${png} ${pixels}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
            COMMAND ${RSVG_CONVERT} -w ${w} -h ${h} -o ${png} ${CMAKE_CURRENT_SOURCE_DIR}/${svg}
            COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/cmake/png_to_pixels.py ${png} ${pixels}
            DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${svg} ${CMAKE_SOURCE_DIR}/cmake/png_to_pixels.py
            VERBATIM)
        string(APPEND _rendered_entries
            "    <file alias=\"${file}\"${compression}>${pixels}</file>\n")
        string(APPEND _rendered_png_entries "    <file alias=\"${file}.png\">${png}</file>\n")
    endforeach()
    set(_rendered_entries "${_rendered_entries}" PARENT_SCOPE)
    set(_rendered_png_entries "${_rendered_png_entries}" PARENT_SCOPE)
endfunction()

# Buttons and menu items show 16-pixel icons; the feedback window its two 32-pixel faces.
foreach(icon load48:load16 save48:save16 exit:exit16 help:help16 feedback:feedback16
        about:about16 close:close16 envelope16:envelope16)
    string(REPLACE ":" ";" parts ${icon})
    list(GET parts 0 source)
    list(GET parts 1 name)
    brindleaf_render(resources/icons/${source}.svg icons/${name} 16 16 AT_START)
endforeach()
brindleaf_render(resources/icons/laughing32.svg icons/laughing32 32 32)
brindleaf_render(resources/icons/sad32.svg icons/sad32 32 32)
# The about window's pictures, at the sizes of their places.
brindleaf_render(resources/quenlow-logo-big-ai-black.svg about/logo 344 105)
brindleaf_render(resources/cat.svg about/cat 320 214)
brindleaf_render(resources/arrow.svg about/arrow 16 16)
# The program's icon, one file per size: title bars and task lists (16, 32, 48), the about
# window (32) and the update notice (60), and twice each of those.
foreach(size 16 32 48 60 64 96 120)
    brindleaf_render(resources/icons/brindleaf.svg appicon/${size} ${size} ${size} ONE_SIZE
        AT_START)
endforeach()

foreach(kind rendered rendered_png)
    set(entries ${_${kind}_entries})
    set(prefix "/")
    if(kind STREQUAL "rendered_png")
        set(prefix "/png")
    endif()
    file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${kind}.qrc CONTENT
"<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n  <qresource prefix=\"${prefix}\">\n${entries}  </qresource>\n</RCC>\n")
endforeach()
qt6_add_resources(BRINDLEAF_RENDERED_SOURCES ${CMAKE_CURRENT_BINARY_DIR}/rendered.qrc)
qt6_add_resources(_rendered_png_sources ${CMAKE_CURRENT_BINARY_DIR}/rendered_png.qrc)
add_library(brindleaf-rendered-png OBJECT ${_rendered_png_sources})
target_link_libraries(brindleaf-rendered-png PRIVATE Qt6::Core)
