# Installation (`cmake --install build --prefix DIR`) and the Debian package
# (`cpack --config build/CPackConfig.cmake -G DEB`): the programs, the about page, desktop
# integration, man pages and the licence.
include(GNUInstallDirs)

set(SPINX_APP_ID org.spinx.Spinx)
set(SPINX_DATA ${CMAKE_SOURCE_DIR}/data)
set(SPINX_GENERATED ${CMAKE_BINARY_DIR}/generated/install)
# Whoever builds a package for others puts their own name and address here.
set(SPINX_MAINTAINER "Spinx developers <spinx@example.org>" CACHE STRING "Package maintainer")

foreach(program spinx spinx-mp3info spinx-render spinx-analyse)
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
endforeach()
if(TARGET spinx)
    # The installed program finds its about page under share/spinx (ShippedFile).
    install(FILES ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/spinx-about.html
            DESTINATION ${CMAKE_INSTALL_DATADIR}/spinx)
endif()

install(FILES ${SPINX_DATA}/${SPINX_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
configure_file(${SPINX_DATA}/${SPINX_APP_ID}.metainfo.xml
               ${SPINX_GENERATED}/${SPINX_APP_ID}.metainfo.xml @ONLY)
install(FILES ${SPINX_GENERATED}/${SPINX_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The PNG sizes are rendered from the SVG when it changes:
#   for s in 16 32 48 64 128 256; do rsvg-convert -w $s -h $s org.spinx.Spinx.svg -o png/$s.png; done
install(FILES ${SPINX_DATA}/icons/${SPINX_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 32 48 64 128 256)
    install(FILES ${SPINX_DATA}/icons/png/${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME ${SPINX_APP_ID}.png)
endforeach()

# Man pages and the Debian changelog are compressed reproducibly (no name, no time stamp).
set(SPINX_GZIPPED)
foreach(page man/spinx.1 man/spinx-mp3info.1 man/spinx-render.1 man/spinx-analyse.1 changelog)
    get_filename_component(name ${page} NAME)
    configure_file(${SPINX_DATA}/${page} ${SPINX_GENERATED}/${name} @ONLY)
    add_custom_command(OUTPUT ${SPINX_GENERATED}/${name}.gz
                       COMMAND gzip -9nkf ${SPINX_GENERATED}/${name}
                       DEPENDS ${SPINX_GENERATED}/${name} VERBATIM)
    list(APPEND SPINX_GZIPPED ${SPINX_GENERATED}/${name}.gz)
endforeach()
add_custom_target(spinx_gzipped_docs ALL DEPENDS ${SPINX_GZIPPED})
install(FILES ${SPINX_GENERATED}/spinx.1.gz ${SPINX_GENERATED}/spinx-mp3info.1.gz
              ${SPINX_GENERATED}/spinx-render.1.gz ${SPINX_GENERATED}/spinx-analyse.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${SPINX_GENERATED}/changelog.gz ${SPINX_DATA}/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/spinx)
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/licenses/spinx)

set(CPACK_PACKAGE_NAME spinx)
set(CPACK_PACKAGE_VENDOR "Spinx developers")
set(CPACK_PACKAGE_CONTACT ${SPINX_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "MP3 mixing desk with four decks and a crossfader")
set(CPACK_PACKAGE_DESCRIPTION
    "Spinx is an MP3 mixing desk for one DJ: four decks with volume, pitch,\n\
balance, a level meter and a ten-band equaliser, a mixer with a\n\
crossfader, and a playlist that can play by itself with automatic\n\
crossfades. Every song loaded keeps its settings in a song database.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_GENERATOR DEB)
include(CPack)
