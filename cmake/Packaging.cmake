# Installation of the product tree and its packages (.deb and .tar.gz through CPack).
#
#   <prefix>/<LAUNCHER_INSTALL_DIR>/launcher
#   <prefix>/<LAUNCHER_INSTALL_DIR>/resources/default_settings.ini
#   <prefix>/<LAUNCHER_INSTALL_DIR>/resources/languages/strings_<lang>.launcher.xml
# and on Linux a command in <prefix>/bin, a desktop entry and the application icon.
# The product's own executable is the vendor's and is installed by the vendor's package.

set(LAUNCHER_INSTALL_DIR "lib/pellam-author" CACHE STRING
    "Product directory under the install prefix (launcher and resources/)")
set(LAUNCHER_DISPLAY_NAME "" CACHE STRING
    "Name shown in the desktop's menus; empty: the product name of LAUNCHER_SETTINGS_FILE")
set(LAUNCHER_APP_ID "com.nimbrel.PellamAuthor" CACHE STRING
    "Desktop application id: names the .desktop file and the icon")
set(LAUNCHER_COMMAND_NAME "pellam-author" CACHE STRING "Command installed in <prefix>/bin")
set(LAUNCHER_PACKAGE_NAME "pellam-author-launcher" CACHE STRING "Package name")

set(displayName "${LAUNCHER_DISPLAY_NAME}")
if(displayName STREQUAL "")
    set(displayName "${LAUNCHER_PRODUCT_NAME}")
endif()

install(TARGETS launcher RUNTIME DESTINATION "${LAUNCHER_INSTALL_DIR}")
# The generated product data (resources/CMakeLists.txt), the tables naming the product.
foreach(file IN LISTS LAUNCHER_PRODUCT_DATA)
    get_filename_component(subdir "${file}" DIRECTORY)
    install(FILES "${LAUNCHER_PRODUCT_DATA_DIR}/${file}"
        DESTINATION "${LAUNCHER_INSTALL_DIR}/resources/${subdir}")
endforeach()

if(UNIX AND NOT APPLE)
    # Desktop entry: a backslash is the one character its strings escape.
    string(REPLACE "\\" "\\\\" LAUNCHER_DISPLAY_NAME "${displayName}")
    configure_file("${PROJECT_SOURCE_DIR}/packaging/launcher.desktop.in"
        "${CMAKE_BINARY_DIR}/packaging/${LAUNCHER_APP_ID}.desktop" @ONLY)
    install(FILES "${CMAKE_BINARY_DIR}/packaging/${LAUNCHER_APP_ID}.desktop"
        DESTINATION share/applications)
    # Linux executables carry no icon of their own; the desktop finds it by the application id.
    install(FILES "${PROJECT_SOURCE_DIR}/resources/launcher/bitmaps/application.png"
        DESTINATION share/icons/hicolor/256x256/apps RENAME "${LAUNCHER_APP_ID}.png")
    # A relative link, so the tree can be unpacked or installed under any prefix.
    install(CODE "
        set(bindir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
        file(MAKE_DIRECTORY \"\${bindir}\")
        file(CREATE_LINK \"../${LAUNCHER_INSTALL_DIR}/launcher\"
            \"\${bindir}/${LAUNCHER_COMMAND_NAME}\" SYMBOLIC)
        message(STATUS \"Installing: \${bindir}/${LAUNCHER_COMMAND_NAME}\")
    ")
endif()

set(CPACK_PACKAGE_NAME "${LAUNCHER_PACKAGE_NAME}")
set(CPACK_PACKAGE_VENDOR "Nimbrel")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "Nimbrel packaging <packaging@nimbrel.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Launcher for ${displayName}")
set(CPACK_PACKAGE_DESCRIPTION
    "Starts ${displayName} in the user's language, one copy at a time, and offers "
    "the download page once per new version reported by the vendor's download server.")
set(CPACK_GENERATOR "DEB;TGZ")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "misc")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.nimbrel.com/")
set(CPACK_ARCHIVE_FILE_NAME "${LAUNCHER_PACKAGE_NAME}-${PROJECT_VERSION}-Linux")
include(CPack)
