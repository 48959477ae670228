# Installation and the Debian package (make package, or cpack in a build folder).
#
# Layout of the installed program:
#   /usr/lib/pellomar/          Pellomar and the catalogue's tables, read only
#   /usr/bin/pellomar           launcher: starts Pellomar in /usr/lib/pellomar, where the
#                               search finds the tables through the current directory
#   /usr/bin/quarry, /usr/bin/pellomar-catalogue
#   /usr/share/applications, icons/hicolor, metainfo, man/man1, doc/pellomar
# A program that cannot write its folder keeps the user's files in the XDG folders
# (app/user_files.h and GridPrinter's configuration folder).

include(GNUInstallDirs)

set(PELLOMAR_APP_ID io.github.pellomar.Pellomar)
set(pellomar_libdir lib/pellomar)
set(packaging_dir ${PROJECT_SOURCE_DIR}/packaging)

install(TARGETS Pellomar RUNTIME DESTINATION ${pellomar_libdir})
install(TARGETS quarry catalogue_builder RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(PROGRAMS ${packaging_dir}/pellomar.sh DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME pellomar)

# The catalogue's tables, as the build makes them beside the program.
foreach(table VIDEOS CASTMEMBERS DIRECTORS VIDEOS_CASTMEMBERS VIDEOS_DIRECTORS)
  install(FILES ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${table}.DAT ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${table}.IDX
          DESTINATION ${pellomar_libdir})
endforeach()

install(FILES ${packaging_dir}/${PELLOMAR_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${packaging_dir}/${PELLOMAR_APP_ID}.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${packaging_dir}/${PELLOMAR_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${packaging_dir}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/pellomar)

# Man pages and the Debian changelog are installed gzipped, without a time stamp in the
# gzip header, as Debian wants.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(gzipped_files)
foreach(source man/pellomar.1 man/quarry.1 man/pellomar-catalogue.1 changelog.Debian)
  get_filename_component(name ${source} NAME)
  set(gzipped ${CMAKE_BINARY_DIR}/packaging/${name}.gz)
  add_custom_command(OUTPUT ${gzipped}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
    COMMAND ${GZIP_PROGRAM} -9 -n -c ${packaging_dir}/${source} > ${gzipped}
    DEPENDS ${packaging_dir}/${source}
    VERBATIM)
  list(APPEND gzipped_files ${gzipped})
endforeach()
add_custom_target(packaging_files ALL DEPENDS ${gzipped_files})
foreach(page pellomar quarry pellomar-catalogue)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/pellomar)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pellomar)
set(CPACK_PACKAGE_VERSION 0.1.0)
set(CPACK_PACKAGE_VENDOR "The Pellomar developers")
set(CPACK_PACKAGE_CONTACT "Pellomar Developers <pellomar@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "film catalogue with your own ratings and notes")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Pellomar Developers <pellomar@example.org>")
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core, fonts-liberation")
# The first line of the package's description is the summary; CPack indents the rest.
set(CPACK_PACKAGE_DESCRIPTION "Pellomar searches a catalogue of feature films by actor or actress, director,
a span of release years and industry rating, and lists the matches in a grid
that sorts by its column titles. For the film under the cursor it shows the
directors and the cast, and keeps your own rating of zero to five stars and
your notes. The list can be printed, previewed or exported.

The package also holds quarry, an SQL shell over the catalogue's embedded
database engine, and pellomar-catalogue, which builds the catalogue's tables
from CSV files.")
# A release build is stripped; the sanitizer build that the tests package keeps its symbols.
if(CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$")
  set(CPACK_STRIP_FILES ON)
endif()
include(CPack)
