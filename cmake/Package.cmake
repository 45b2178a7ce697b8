# The Debian package: `cpack -G DEB` in the build folder (scripts/package.sh runs it)
# makes tavo_<version>_<arch>.deb of everything `cmake --install` puts under /usr.
# Library dependencies come from the binaries (dpkg-shlibdeps); the packages the program
# needs at run time without linking them are listed here: GStreamer for the player's H.264,
# a font with Chinese glyphs, the web-process sandbox, the opener of outside links and the
# media probe's libavformat.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavo)
set(CPACK_PACKAGE_VENDOR "Tavo")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Tavo developers <dev@tavo.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# libavformat is opened by the media probe at run time (by the soname of the headers' major
# version), so no binary links it.
string(REGEX MATCH "^[0-9]+" TAVO_AVFORMAT_MAJOR "${LIBAV_libavformat_VERSION}")
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-libav, fonts-noto-cjk | fonts-wqy-microhei, bubblewrap, xdg-dbus-proxy, xdg-utils, libavformat${TAVO_AVFORMAT_MAJOR}")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gstreamer1.0-gl")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop client of an online school")
# The first line of the control file's description is the summary; CPack indents the rest.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Tavo signs a student in to the online school, lists the courses bought there,
plays lesson videos online, downloads videos and lecture documents for offline
use and sends questions about a video. A demo school for trying it out comes
with it (tavo --demo).")
include(CPack)
