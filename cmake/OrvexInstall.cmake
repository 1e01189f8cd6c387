# What `cmake --install` puts on a machine, and the Debian package CPack makes of it
# (scripts/package.sh build). Only the program and its desktop files are installed: nothing of
# the tests, the benchmarks or the sample-data generator.
include(GNUInstallDirs)

# The desktop's name for the program: desktop entry, icon and AppStream metainfo are named by it.
set(ORVEX_APP_ID org.orvex.navigator)
set(ORVEX_PACKAGE_MAINTAINER "Orvex Navigator maintainers <maintainers@orvex-navigator.example>"
    CACHE STRING "Maintainer of the Debian package, as \"Name <address>\"")
set(ORVEX_HOMEPAGE_URL "https://orvex-navigator.example/"
    CACHE STRING "Web address of the project, for the AppStream metainfo")
# The AppStream metainfo's screenshot is docs/screenshot.png at this address.
set(ORVEX_DOCS_URL "https://orvex-navigator.example/docs"
    CACHE STRING "Web address where the checkout's docs/ folder is published")

set(packaging_dir ${PROJECT_SOURCE_DIR}/packaging)
set(packaging_out ${PROJECT_BINARY_DIR}/packaging)
set(doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/orvex-navigator)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The program, under the name a person types. The build keeps its own name (build/app/
# OrvexNavigator, which the demo and the tests run); the installed copy is renamed after the
# install rule has copied it and, with --strip, stripped it. A stripped copy also loses the
# compiler's notes, as Debian strips its packages' programs.
install(TARGETS OrvexNavigator RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(CODE "
    set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(RENAME \"\${bin}/OrvexNavigator\" \"\${bin}/orvex-navigator\")
    message(STATUS \"Renamed: \${bin}/orvex-navigator\")
    if(CMAKE_INSTALL_DO_STRIP)
        execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment
            --remove-section=.note \"\${bin}/orvex-navigator\" COMMAND_ERROR_IS_FATAL ANY)
    endif()
")

configure_file(${packaging_dir}/org.orvex.navigator.metainfo.xml.in
    ${packaging_out}/${ORVEX_APP_ID}.metainfo.xml @ONLY)
configure_file(${packaging_dir}/copyright.in ${packaging_out}/copyright @ONLY)
configure_file(${packaging_dir}/changelog.in ${packaging_out}/changelog @ONLY)

# Debian wants the manual page and the changelog compressed, without a time stamp in the gzip
# header so that the same sources give the same package.
set(gzipped)
foreach(pair "${packaging_dir}/orvex-navigator.1|orvex-navigator.1.gz"
             "${packaging_out}/changelog|changelog.gz")
    string(REPLACE "|" ";" pair "${pair}")
    list(GET pair 0 source)
    list(GET pair 1 name)
    add_custom_command(OUTPUT ${packaging_out}/${name}
        COMMAND gzip -9 -n -c ${source} > ${packaging_out}/${name}
        DEPENDS ${source}
        VERBATIM)
    list(APPEND gzipped ${packaging_out}/${name})
endforeach()
add_custom_target(orvex_install_files ALL DEPENDS ${gzipped})

install(FILES ${packaging_dir}/${ORVEX_APP_ID}.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${packaging_out}/${ORVEX_APP_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${packaging_dir}/icons/${ORVEX_APP_ID}.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 22 24 32 48 64 128 256)
    install(FILES ${packaging_dir}/icons/${size}x${size}/${ORVEX_APP_ID}.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${packaging_out}/orvex-navigator.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${packaging_out}/copyright ${packaging_out}/changelog.gz DESTINATION ${doc_dir})

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvex-navigator)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${ORVEX_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "query front-end for the Orvex weather-observation database")
# CPack puts the summary above this as the description's first line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Orvex Navigator is a desktop program for people who do not write SQL. On one
window they state a date and hour (UTC), a station, a latitude and longitude
box and one weather parameter, and the program composes a single SELECT
statement from them for an Orvex database on a MariaDB or MySQL server. The
statement is shown, so users learn SQL as they go, and advanced users can
edit it or type their own.

Rows stream into a grid while the server's progress is shown, a running
query can be cancelled on the server, and the result can be saved as CSV,
copied to the clipboard or plotted against time. A station finder searches
the station list built into the program.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the program links (Qt, QCustomPlot, the MariaDB client library) are read from
# the binary by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's boxes are sized for Liberation Sans.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-liberation2)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
