# Installs the built program into a fresh prefix and checks what lands there:
# cmake -DBUILD_DIR=... -DPREFIX=... -P install_check.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${rc})")
endif()

set(id com.orlenway.Quillmark)
foreach(file bin/quillmark
             share/quillmark/templates/Clarity.htm share/quillmark/templates/Clarity_style.css
             share/quillmark/sites/Ledgerlark.ini share/quillmark/sites/Ledgerlark_screenshot.png
             share/applications/${id}.desktop share/metainfo/${id}.metainfo.xml
             share/icons/hicolor/scalable/apps/${id}.svg)
  if(NOT EXISTS ${PREFIX}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

# The spelling dictionaries built beside the program go where the installed program looks.
file(GLOB built_dictionaries ${BUILD_DIR}/bin/qtwebengine_dictionaries/*.bdic)
foreach(dictionary ${built_dictionaries})
  get_filename_component(name ${dictionary} NAME)
  if(NOT EXISTS ${PREFIX}/share/quillmark/qtwebengine_dictionaries/${name})
    message(FATAL_ERROR "not installed: the spelling dictionary ${name}")
  endif()
endforeach()

file(READ ${PREFIX}/share/applications/${id}.desktop desktop)
if(NOT desktop MATCHES "\nExec=quillmark %f\n" OR NOT desktop MATCHES "\nMimeType=[^\n]*text/html;")
  message(FATAL_ERROR "the desktop file does not open HTML pages with quillmark")
endif()

foreach(check "desktop-file-validate;${PREFIX}/share/applications/${id}.desktop"
              "appstreamcli;validate;--no-net;${PREFIX}/share/metainfo/${id}.metainfo.xml")
  execute_process(COMMAND ${check} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${check} failed (${rc}):\n${out}")
  endif()
endforeach()
