# The Debian packages: `cpack -G DEB` in a build folder, or scripts/package.sh.
# quillmate (component desktop) is the program; quillmate-site (component
# site) the maker's web site.
# dpkg-shlibdeps names the libraries of every installed program and module;
# the rest below is what is opened at run time and no ELF header shows.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillmate)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quillmate developers")
set(CPACK_PACKAGE_CONTACT "Quillmate developers <dev@quillmate.invalid>")
# Each component's description starts with its own summary line; no common
# CPACK_PACKAGE_DESCRIPTION_SUMMARY, which CPack would put before both.
set(_quill_desktop_summary "translation tool with screen text recognition and reading aloud")
set(CPACK_PACKAGE_DESCRIPTION "Quillmate translates text between 66 languages in one window with a
Simplified Chinese interface. It also recognises the text of a region cut
out of the screen and reads text aloud; both run on the local machine
(PP-OCR on OpenCV, Tesseract and espeak-ng behind the bundled
quillmate-server), with no account. A command line translates, recognises and speaks without a window.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.quillmate.net/translation.htm)
# Users have no use for debug information; it would multiply the download.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL desktop site)
set(CPACK_DEBIAN_DESKTOP_PACKAGE_NAME quillmate)
set(CPACK_DEBIAN_DESKTOP_FILE_NAME DEB-DEFAULT)
set(CPACK_COMPONENT_DESKTOP_DESCRIPTION "${_quill_desktop_summary}\n${CPACK_PACKAGE_DESCRIPTION}")

set(_quill_run_time_depends
    # The window opens libcurl with dlopen (only the command line links it).
    libcurl4
    # Opened with dlopen when an engine's key is kept or read.
    libsecret-1-0
    # The capture library travels inside the program, so no header shows its
    # libraries: Qt's D-Bus module for the Wayland screenshot portal.
    libqt6dbus6
    # Qt plugins: the native Wayland platform, and playback through the
    # GStreamer backend, which decodes mp3 with plugins-good.
    qt6-wayland gstreamer1.0-plugins-base gstreamer1.0-plugins-good
    # The menus of the text boxes in Chinese (qt_zh_CN).
    qt6-translations-l10n
    # The interface is Chinese: without a CJK font it renders as boxes.
    "fonts-noto-cjk | fonts-wqy-zenhei | fonts-wqy-microhei"
    # The engine's recognition languages and speech voices.
    tesseract-ocr-eng tesseract-ocr-chi-sim tesseract-ocr-chi-tra tesseract-ocr-jpn
    tesseract-ocr-kor espeak-ng-data)
list(JOIN _quill_run_time_depends ", " CPACK_DEBIAN_DESKTOP_PACKAGE_DEPENDS)
# Opening links and the desktop's screenshot portal on Wayland.
set(CPACK_DEBIAN_DESKTOP_PACKAGE_RECOMMENDS "xdg-utils, xdg-desktop-portal")

# The site: its libraries come from dpkg-shlibdeps; adduser makes its user.
set(CPACK_DEBIAN_SITE_PACKAGE_NAME quillmate-site)
set(CPACK_DEBIAN_SITE_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_SITE_PACKAGE_SECTION web)
set(CPACK_DEBIAN_SITE_PACKAGE_DEPENDS "adduser")
set(CPACK_DEBIAN_SITE_PACKAGE_RECOMMENDS "nginx")
set(CPACK_DEBIAN_SITE_PACKAGE_SUGGESTS "postgresql")
set(CPACK_COMPONENT_SITE_DESCRIPTION "the maker's web site of the Quillmate translation tool
quillmate-site answers the program's update check with the newest release's
version file, stores the messages its feedback form sends (SQLite, or
PostgreSQL for several servers) and serves the product page and an admin
page. It runs under systemd behind nginx.")
set(CPACK_DEBIAN_SITE_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/packaging/site/postinst ${PROJECT_SOURCE_DIR}/packaging/site/prerm
    ${PROJECT_SOURCE_DIR}/packaging/site/postrm)

include(CPack)
