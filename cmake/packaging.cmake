# The Debian package "libmorph" (cpack -G DEB in the build folder, or
# scripts/package): the window, the command line with a manual page made
# from its --help, the .desktop file and the icon.
include(GNUInstallDirs)

install(FILES ${PROJECT_SOURCE_DIR}/app/libmorph.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

find_program(LIBMORPH_HELP2MAN help2man)
if(LIBMORPH_HELP2MAN AND TARGET libmorph-cli)
  set(man ${PROJECT_BINARY_DIR}/libmorph-cli.1)
  add_custom_command(OUTPUT ${man}.gz
    COMMAND ${LIBMORPH_HELP2MAN} --no-info --section=1
            "--name=convert import libraries between the COFF and OMF forms and .def files"
            --include=${PROJECT_SOURCE_DIR}/cmake/libmorph-cli.h2m
            --output=${man} $<TARGET_FILE:libmorph-cli>
    COMMAND gzip -9nf ${man}
    DEPENDS libmorph-cli ${PROJECT_SOURCE_DIR}/cmake/libmorph-cli.h2m
    COMMENT "Manual page of libmorph-cli from its --help"
    VERBATIM)
  add_custom_target(libmorph_manual ALL DEPENDS ${man}.gz)
  install(FILES ${man}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME libmorph)
set(CPACK_PACKAGE_VENDOR "Libmorph")
set(CPACK_PACKAGE_CONTACT "Libmorph developers <libmorph@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "converts import libraries of Windows DLLs between toolchains")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Reads COFF and GNU import libraries, OMF import libraries, .def files and DLLs\ninto one editable export list, and writes COFF or OMF import libraries and .def\nfiles: a window (libmorph) and a command line for build scripts (libmorph-cli).")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The libraries it links (Qt, ICU, Zydis) become the package's dependencies.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What the window loads at run time rather than links: Qt's display
# plugins, and Qt's own French for its standard dialogs.
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-translations-l10n)
set(CPACK_STRIP_FILES ON)
include(CPack)
