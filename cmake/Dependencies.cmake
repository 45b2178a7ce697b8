# Every outside library, found once here as an imported target.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
pkg_check_modules(GLIB REQUIRED IMPORTED_TARGET glib-2.0 gobject-2.0 gio-2.0)
# Desktop applications launched so that their process can be waited for.
pkg_check_modules(GIOUNIX REQUIRED IMPORTED_TARGET gio-unix-2.0)
pkg_check_modules(GTK3 REQUIRED IMPORTED_TARGET gtk+-3.0)
pkg_check_modules(AYATANA REQUIRED IMPORTED_TARGET ayatana-appindicator3-0.1)
pkg_check_modules(WEBKIT REQUIRED IMPORTED_TARGET webkit2gtk-4.1)
pkg_check_modules(WEBKIT_WEB_EXTENSION REQUIRED IMPORTED_TARGET webkit2gtk-web-extension-4.1)
pkg_check_modules(CURL REQUIRED IMPORTED_TARGET libcurl)
pkg_check_modules(SQLITE3 REQUIRED IMPORTED_TARGET sqlite3)
# Remembered passwords go to the desktop's Secret Service.
pkg_check_modules(LIBSECRET REQUIRED IMPORTED_TARGET libsecret-1)
pkg_check_modules(OPENSSL REQUIRED IMPORTED_TARGET libcrypto libssl)
pkg_check_modules(LIBUV REQUIRED IMPORTED_TARGET libuv)
pkg_check_modules(LIBAV REQUIRED IMPORTED_TARGET libavformat libavcodec libavutil)
pkg_check_modules(PUGIXML REQUIRED IMPORTED_TARGET pugixml)
pkg_check_modules(LIBZIP REQUIRED IMPORTED_TARGET libzip)
pkg_check_modules(CAIRO REQUIRED IMPORTED_TARGET cairo pangocairo gdk-pixbuf-2.0)
# The text of downloaded PDFs, for search.
pkg_check_modules(POPPLER REQUIRED IMPORTED_TARGET poppler-glib)
find_path(RAPIDJSON_INCLUDE_DIR rapidjson/document.h REQUIRED)
find_path(HTTP_PARSER_INCLUDE_DIR http_parser.h REQUIRED)
find_library(HTTP_PARSER_LIBRARY http_parser REQUIRED)
find_path(HTTPLIB_INCLUDE_DIR httplib.h REQUIRED)
# Debian builds cpp-httplib as a shared library; its flags (OpenSSL, zlib, brotli) fix the ABI.
pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
if(TAVO_TESTS)
  find_package(GTest REQUIRED)
  # The accessibility client the tests use to read the windows as a screen reader would.
  pkg_check_modules(ATSPI QUIET IMPORTED_TARGET atspi-2)
endif()
