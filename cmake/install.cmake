# What `cmake --install build [--prefix P]` lays out under the prefix (default /usr/local):
#   bin/orvalis, bin/orvalis-cli                       the window (where Qt was found) and the CLI
#   share/orvalis/                                     the shipped data: LEXICON.DAT, searchres.ini,
#                                                      pages/ (help and images); the programs find
#                                                      it relative to their own folder
#   share/applications/orvalis.desktop                 the menu entry, opening .ov2 files
#   share/metainfo/com.brennick.Orvalis.metainfo.xml   AppStream description for software centres
#   share/mime/packages/orvalis.xml                    the .ov2 file type
#   share/icons/hicolor/{NxN,scalable}/apps/           the program's icon
#   share/man/man1/orvalis{,-cli}.1.gz                 the manual pages
#   share/bash-completion/completions/orvalis-cli      completion of commands, options and names
#   share/doc/orvalis/                                 copyright and changelog
# Included from the top-level CMakeLists.txt after every target is defined.

set(ORVALIS_PROGRAMS orvalis-cli)
if(TARGET orvalis)
  list(APPEND ORVALIS_PROGRAMS orvalis)
endif()
install(TARGETS ${ORVALIS_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Symbols bound at start, so the whole relocation table can be made read-only (full RELRO).
foreach(program IN LISTS ORVALIS_PROGRAMS)
  target_link_options(${program} PRIVATE LINKER:-z,now)
endforeach()

install(FILES ${ORVALIS_DATA_DIR}/LEXICON.DAT ${ORVALIS_DATA_DIR}/searchres.ini
        DESTINATION ${ORVALIS_INSTALL_DATA_DIR})
install(DIRECTORY ${ORVALIS_DATA_DIR}/pages DESTINATION ${ORVALIS_INSTALL_DATA_DIR})

# Desktop integration.
install(FILES ${ORVALIS_DATA_DIR}/desktop/orvalis.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${ORVALIS_DATA_DIR}/desktop/orvalis.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
        RENAME com.brennick.Orvalis.metainfo.xml)
install(FILES ${ORVALIS_DATA_DIR}/desktop/orvalis-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
        RENAME orvalis.xml)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${ORVALIS_DATA_DIR}/icons/hicolor/${size}x${size}/apps/orvalis.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${ORVALIS_DATA_DIR}/icons/orvalis.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Manual pages and the Debian changelog carry the project version; both are installed compressed.
set(ORVALIS_DOC_BUILD_DIR ${PROJECT_BINARY_DIR}/doc)
set(ORVALIS_COMPRESSED_DOCS)
foreach(source man/orvalis.1 man/orvalis-cli.1 debian/changelog)
  get_filename_component(name ${source} NAME)
  configure_file(${ORVALIS_DATA_DIR}/${source} ${ORVALIS_DOC_BUILD_DIR}/${name} @ONLY)
  add_custom_command(OUTPUT ${ORVALIS_DOC_BUILD_DIR}/${name}.gz
                     COMMAND gzip -9 -n -f -k ${name}
                     WORKING_DIRECTORY ${ORVALIS_DOC_BUILD_DIR}
                     DEPENDS ${ORVALIS_DOC_BUILD_DIR}/${name}
                     COMMENT "Compressing ${name}")
  list(APPEND ORVALIS_COMPRESSED_DOCS ${ORVALIS_DOC_BUILD_DIR}/${name}.gz)
endforeach()
add_custom_target(orvalis_docs ALL DEPENDS ${ORVALIS_COMPRESSED_DOCS})
install(FILES ${ORVALIS_DOC_BUILD_DIR}/orvalis.1.gz ${ORVALIS_DOC_BUILD_DIR}/orvalis-cli.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${ORVALIS_DOC_BUILD_DIR}/changelog.gz ${ORVALIS_DATA_DIR}/debian/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/orvalis)

install(FILES ${ORVALIS_DATA_DIR}/completion/orvalis-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
if(EXISTS ${ORVALIS_DATA_DIR}/debian/lintian-overrides)
  install(FILES ${ORVALIS_DATA_DIR}/debian/lintian-overrides
          DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME orvalis)
endif()

# Installed straight onto a system or into a home folder (not staged for a package, whose
# triggers do the same), the MIME and desktop databases are refreshed so that file managers open
# .ov2 files with Orvalis at once.
install(CODE [[
  if("$ENV{DESTDIR}" STREQUAL "" AND NOT CMAKE_INSTALL_PREFIX MATCHES "/_CPack_Packages/")
    find_program(ORVALIS_UPDATE_MIME update-mime-database)
    find_program(ORVALIS_UPDATE_DESKTOP update-desktop-database)
    if(ORVALIS_UPDATE_MIME)
      execute_process(COMMAND ${ORVALIS_UPDATE_MIME} "${CMAKE_INSTALL_PREFIX}/share/mime"
                      OUTPUT_QUIET ERROR_QUIET)
    endif()
    if(ORVALIS_UPDATE_DESKTOP)
      execute_process(COMMAND ${ORVALIS_UPDATE_DESKTOP} "${CMAKE_INSTALL_PREFIX}/share/applications"
                      OUTPUT_QUIET ERROR_QUIET)
    endif()
  endif()
]])
