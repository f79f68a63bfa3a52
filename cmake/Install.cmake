# Installation and the Debian package: the two programs, and from data/ what the desktop needs.
#
#     cmake --install BUILD --prefix /usr/local
#     (cd BUILD && cpack -G DEB)

include(GNUInstallDirs)

install(TARGETS tarvolo qrptool RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
add_subdirectory("${CMAKE_SOURCE_DIR}/data" "${CMAKE_BINARY_DIR}/data")

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "tarvolo")
set(CPACK_PACKAGE_VENDOR "Tarvolo")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Viewer for saved paginated report files (.qrp)")
set(CPACK_PACKAGE_DESCRIPTION "Tarvolo shows, prints and saves .qrp report files, whose pages are enhanced \
metafiles (EMF). qrptool inspects, renders and converts them from the command line and draws their thumbnails.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tarvolo developers <tarvolo@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The MIME database, the desktop database and the icon caches are refreshed by the triggers of
# the packages that own them, so the package needs no scripts of its own.
find_program(TARVOLO_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(TARVOLO_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6widgets6, libqt6printsupport6, libqt6gui6, libqt6core6")
endif()
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "shared-mime-info, desktop-file-utils, xdg-utils")
include(CPack)
