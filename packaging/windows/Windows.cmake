# What the Windows build adds to the programs: an icon and version resource in each .exe.

enable_language(RC)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
file(GLOB _twinspotter_icon_pngs ${PROJECT_SOURCE_DIR}/data/icons/png/twinspotter-*.png)
set(TWINSPOTTER_ICO ${PROJECT_BINARY_DIR}/packaging/windows/twinspotter.ico)
add_custom_command(OUTPUT ${TWINSPOTTER_ICO}
                   COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/make-ico.py ${TWINSPOTTER_ICO}
                           ${_twinspotter_icon_pngs}
                   DEPENDS ${CMAKE_CURRENT_LIST_DIR}/make-ico.py ${_twinspotter_icon_pngs}
                   VERBATIM)
add_custom_target(twinspotter_ico DEPENDS ${TWINSPOTTER_ICO})

# twinspotter_windows_resources(TARGET DESCRIPTION): the icon and a version block naming TARGET.exe.
function(twinspotter_windows_resources target description)
    set(TWINSPOTTER_RC_NAME ${target})
    set(TWINSPOTTER_RC_DESCRIPTION "${description}")
    set(rc ${PROJECT_BINARY_DIR}/packaging/windows/${target}.rc)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/twinspotter.rc.in ${rc} @ONLY)
    set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${TWINSPOTTER_ICO})
    target_sources(${target} PRIVATE ${rc})
    add_dependencies(${target} twinspotter_ico)
endfunction()
