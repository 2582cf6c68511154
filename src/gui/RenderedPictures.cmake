# The icons and pictures of the windows, rendered from their SVG sources at build time at
# the sizes the windows show them and at twice those for screens of double density
# (name.png and name@2x.png), and compiled into the library as the resource "rendered".
# The program then needs no SVG renderer at run time, and every build shows the same
# pixels.
find_program(RSVG_CONVERT rsvg-convert REQUIRED)

set(_rendered_dir ${CMAKE_CURRENT_BINARY_DIR}/rendered)
set(_rendered_entries "")
set(_rendered_files "")

# brindleaf_render(SVG NAME WIDTH HEIGHT [ONE_SIZE]): NAME.png at WIDTH x HEIGHT and, unless
# ONE_SIZE, NAME@2x.png at twice that; NAME is the path inside the resource.
function(brindleaf_render svg name width height)
    set(outputs "")
    set(variants "${name}.png:1")
    if(NOT ARGN STREQUAL "ONE_SIZE")
        list(APPEND variants "${name}@2x.png:2")
    endif()
    foreach(variant ${variants})
        string(REPLACE ":" ";" parts ${variant})
        list(GET parts 0 file)
        list(GET parts 1 scale)
        math(EXPR w "${width} * ${scale}")
        math(EXPR h "${height} * ${scale}")
        set(png ${_rendered_dir}/${file})
        get_filename_component(folder ${png} DIRECTORY)
        add_custom_command(OUTPUT ${png}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
            COMMAND ${RSVG_CONVERT} -w ${w} -h ${h} -o ${png} ${CMAKE_CURRENT_SOURCE_DIR}/${svg}
            DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${svg} VERBATIM)
        list(APPEND outputs ${png})
        string(APPEND _rendered_entries "    <file alias=\"${file}\">${png}</file>\n")
    endforeach()
    set(_rendered_entries "${_rendered_entries}" PARENT_SCOPE)
    set(_rendered_files ${_rendered_files} ${outputs} PARENT_SCOPE)
endfunction()

# Buttons and menu items show 16-pixel icons; the feedback window its two 32-pixel faces.
foreach(icon load48:load16 save48:save16 exit:exit16 help:help16 feedback:feedback16
        about:about16 close:close16 envelope16:envelope16)
    string(REPLACE ":" ";" parts ${icon})
    list(GET parts 0 source)
    list(GET parts 1 name)
    brindleaf_render(resources/icons/${source}.svg icons/${name} 16 16)
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
    brindleaf_render(resources/icons/brindleaf.svg appicon/${size} ${size} ${size} ONE_SIZE)
endforeach()

set(_rendered_qrc ${CMAKE_CURRENT_BINARY_DIR}/rendered.qrc)
file(CONFIGURE OUTPUT ${_rendered_qrc} CONTENT
"<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n  <qresource prefix=\"/\">\n${_rendered_entries}  </qresource>\n</RCC>\n")
qt6_add_resources(BRINDLEAF_RENDERED_SOURCES ${_rendered_qrc})
