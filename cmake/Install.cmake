# Install rules: the programs in bin/, the shared libraries and the window libraries in the
# suite's private library folder (found through each program's RUNPATH and by
# platform::LoadProgramPart), the extractor stub in the private program folder where qmsfx finds
# it, the help pages, the desktop integration (desktop entry, file types, icons, AppStream
# metainfo, a file-manager action), the man pages and the key server's service unit.
# Included at the end of the top-level CMakeLists.txt, when every target exists.

# Every shared library of the suite, wherever it is defined; test, fuzz and benchmark folders hold
# none that an installed program needs.
function(_qm_shared_libraries dir out)
    set(found)
    if(NOT dir MATCHES "/(tests|fuzz|bench)(/|$)")
        get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
        foreach(target ${targets})
            get_target_property(type ${target} TYPE)
            if(type STREQUAL "SHARED_LIBRARY")
                list(APPEND found ${target})
            endif()
        endforeach()
        get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
        foreach(subdir ${subdirs})
            _qm_shared_libraries(${subdir} below)
            list(APPEND found ${below})
        endforeach()
    endif()
    set(${out} ${found} PARENT_SCOPE)
endfunction()

_qm_shared_libraries(${CMAKE_SOURCE_DIR} qm_libraries)
set(qm_programs qmcenter qmtask qmkey qmsfx keeper)
if(TARGET keyserv)
    list(APPEND qm_programs keyserv)
endif()

# RUNPATH: a program looks in the private library folder, relative to its own folder so that a
# DESTDIR or relocated tree works as well; a library looks beside itself.
file(RELATIVE_PATH program_to_libs /${CMAKE_INSTALL_BINDIR} /${QM_INSTALL_PRIVATE_LIBDIR})
set_target_properties(${qm_programs} PROPERTIES INSTALL_RPATH "\$ORIGIN/${program_to_libs}")
set_target_properties(${qm_libraries} PROPERTIES INSTALL_RPATH "\$ORIGIN")
set_target_properties(extractor PROPERTIES INSTALL_RPATH "")

install(TARGETS ${qm_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS ${qm_libraries} LIBRARY DESTINATION ${QM_INSTALL_PRIVATE_LIBDIR})
install(TARGETS extractor RUNTIME DESTINATION ${QM_INSTALL_PRIVATE_PROGRAMDIR})

install(DIRECTORY ${CMAKE_SOURCE_DIR}/suite/misckit/help/ DESTINATION ${CMAKE_INSTALL_DATADIR}/quillmark/help)

set(packaging ${CMAKE_SOURCE_DIR}/packaging)
set(app_id org.quillmark.Quillmark)
install(FILES ${packaging}/${app_id}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${packaging}/${app_id}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${packaging}/${app_id}.mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
        RENAME ${app_id}.xml)
install(FILES ${packaging}/kde/${app_id}.encrypt.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/kio/servicemenus)
install(FILES ${packaging}/icons/${app_id}.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# The bitmap icons are drawn from the one SVG at build time.
find_program(QM_RSVG_CONVERT rsvg-convert)
if(QM_RSVG_CONVERT)
    set(icon_files)
    foreach(size 16 22 24 32 48 64 128 256)
        set(png ${CMAKE_BINARY_DIR}/share/icons/hicolor/${size}x${size}/apps/${app_id}.png)
        add_custom_command(OUTPUT ${png}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/share/icons/hicolor/${size}x${size}/apps
            COMMAND ${QM_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${packaging}/icons/${app_id}.svg
            DEPENDS ${packaging}/icons/${app_id}.svg
            COMMENT "Drawing the ${size}x${size} icon")
        list(APPEND icon_files ${png})
        install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
    add_custom_target(qm_icons ALL DEPENDS ${icon_files})
else()
    message(STATUS "rsvg-convert not found: only the scalable icon is installed")
endif()

# Man pages, one source each (scdoc) in packaging/man, compressed as Debian wants them.
find_program(QM_SCDOC scdoc)
if(QM_SCDOC)
    set(man_files)
    file(GLOB man_sources ${packaging}/man/*.scd)
    foreach(source ${man_sources})
        get_filename_component(page ${source} NAME_WLE) # qmtask.1
        string(REGEX REPLACE ".*\\.([0-9])$" "\\1" section ${page})
        set(man ${CMAKE_BINARY_DIR}/share/man/man${section}/${page}.gz)
        add_custom_command(OUTPUT ${man}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/share/man/man${section}
                ${CMAKE_BINARY_DIR}/packaging/man
            COMMAND sh -c "\"$1\" < \"$2\" > \"$3\"" sh ${QM_SCDOC} ${source} ${CMAKE_BINARY_DIR}/packaging/man/${page}
            COMMAND sh -c "gzip -9n < \"$1\" > \"$2\"" sh ${CMAKE_BINARY_DIR}/packaging/man/${page} ${man}
            DEPENDS ${source}
            VERBATIM
            COMMENT "Writing the man page ${page}")
        list(APPEND man_files ${man})
        install(FILES ${man} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
    endforeach()
    add_custom_target(qm_man_pages ALL DEPENDS ${man_files})
else()
    message(STATUS "scdoc not found: the man pages are not built")
endif()

if(TARGET keyserv)
    install(FILES ${packaging}/keyserv.service DESTINATION lib/systemd/system)
endif()

# Debian's copyright and changelog files, for the package.
install(FILES ${packaging}/debian/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quillmark)
