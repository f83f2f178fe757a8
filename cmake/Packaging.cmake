# Installation of the product tree and its packages (.deb and .tar.gz through CPack).
#
#   <prefix>/<LAUNCHER_INSTALL_DIR>/launcher
#   <prefix>/<LAUNCHER_INSTALL_DIR>/lib/launcher-window.so (where the window is a module of its own)
#   <prefix>/<LAUNCHER_INSTALL_DIR>/resources/default_settings.ini
#   <prefix>/<LAUNCHER_INSTALL_DIR>/resources/languages/strings_<lang>.launcher.xml
# and on Linux a command in <prefix>/bin with its manual page, a desktop entry with its AppStream
# metadata, the application icon, and the package's copyright file and changelog.
# The product's own executable is the vendor's and is installed by the vendor's package.

set(LAUNCHER_INSTALL_DIR "lib/pellam-author" CACHE STRING
    "Product directory under the install prefix (launcher and resources/)")
set(LAUNCHER_DISPLAY_NAME "" CACHE STRING
    "Name shown in the desktop's menus; empty: the product name of LAUNCHER_SETTINGS_FILE")
set(LAUNCHER_APP_ID "com.nimbrel.PellamAuthor" CACHE STRING
    "Desktop application id: names the .desktop file, the AppStream metadata and the icon")
set(LAUNCHER_COMMAND_NAME "pellam-author" CACHE STRING "Command installed in <prefix>/bin")
set(LAUNCHER_PACKAGE_NAME "pellam-author-launcher" CACHE STRING "Package name")

set(LAUNCHER_HOMEPAGE "https://www.nimbrel.com/")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")

# The package's version is the project's; the latest changelog entry must be for it, and gives
# the release date shown by the manual page and the AppStream metadata.
set(changelog "${PROJECT_SOURCE_DIR}/packaging/changelog.in")
file(STRINGS "${changelog}" changelogLines)
list(GET changelogLines 0 changelogTop)
string(REGEX MATCH "^[^ ]+ \\(([^)]+)\\)" _ "${changelogTop}")
set(changelogVersion "${CMAKE_MATCH_1}")
if(NOT changelogVersion STREQUAL PROJECT_VERSION)
    message(WARNING "packaging/changelog.in starts with version '${changelogVersion}', the "
        "project is ${PROJECT_VERSION}: add an entry for it")
endif()
set(LAUNCHER_RELEASE_DATE "")
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
foreach(line IN LISTS changelogLines)
    # The trailer line: " -- Name <address>  Sun, 06 Dec 2026 21:16:56 +0000".
    if(line MATCHES "^ -- .*>  [A-Za-z]+, ([0-9][0-9]) ([A-Za-z]+) ([0-9]+) ")
        list(FIND months "${CMAKE_MATCH_2}" month)
        math(EXPR month "${month} + 1" OUTPUT_FORMAT DECIMAL)
        if(month LESS 10)
            set(month "0${month}")
        endif()
        set(LAUNCHER_RELEASE_DATE "${CMAKE_MATCH_3}-${month}-${CMAKE_MATCH_1}")
        break()
    endif()
endforeach()
if(LAUNCHER_RELEASE_DATE STREQUAL "")
    message(FATAL_ERROR "packaging/changelog.in: no trailer line with a date in its latest entry")
endif()

install(TARGETS launcher RUNTIME DESTINATION "${LAUNCHER_INSTALL_DIR}")
if(LAUNCHER_WINDOW_MODULE) # where the launcher loads it from
    install(TARGETS launcherwindowmodule LIBRARY DESTINATION "${LAUNCHER_INSTALL_DIR}/lib")
endif()
# The generated product data (resources/CMakeLists.txt), the tables naming the product.
foreach(file IN LISTS LAUNCHER_PRODUCT_DATA)
    get_filename_component(subdir "${file}" DIRECTORY)
    install(FILES "${LAUNCHER_PRODUCT_DATA_DIR}/${file}"
        DESTINATION "${LAUNCHER_INSTALL_DIR}/resources/${subdir}")
endforeach()

# The texts that name the product come from templates: configuring fills in all but the name,
# whose placeholders pass through, and launcher-brand writes the name during the build in the
# form each text needs (LAUNCHER_DISPLAY_NAME, or the settings file's).
set(packaging "${CMAKE_BINARY_DIR}/packaging")
foreach(placeholder LAUNCHER_DESKTOP_NAME LAUNCHER_METAINFO_NAME LAUNCHER_MAN_NAME
        LAUNCHER_TEXT_NAME)
    set(${placeholder} "@${placeholder}@")
endforeach()
string(TOUPPER "${LAUNCHER_COMMAND_NAME}" LAUNCHER_MAN_TITLE)
set(LAUNCHER_MAN_DIR "${CPACK_PACKAGING_INSTALL_PREFIX}/${LAUNCHER_INSTALL_DIR}")
# Template and text: the package's summary and description (cmake/CPackProject.cmake), and on
# Linux the desktop entry, its AppStream metadata and the manual page.
set(named packaging/summary.in summary packaging/description.in description)
if(UNIX AND NOT APPLE)
    list(APPEND named packaging/launcher.desktop.in "${LAUNCHER_APP_ID}.desktop"
        packaging/launcher.metainfo.xml.in "${LAUNCHER_APP_ID}.metainfo.xml"
        docs/launcher.1.in "${LAUNCHER_COMMAND_NAME}.1")
endif()
set(packagingFiles)
while(named)
    list(POP_FRONT named template file)
    configure_file("${PROJECT_SOURCE_DIR}/${template}" "${packaging}/templates/${file}" @ONLY)
    set(fold)
    if(file STREQUAL "description")
        # Debian shows the description as it is, line by line: no line may pass 80 characters.
        set(fold --fold 78)
    endif()
    add_custom_command(OUTPUT "${packaging}/${file}"
        COMMAND launcher-brand ${fold} "--name=${LAUNCHER_DISPLAY_NAME}" "${LAUNCHER_SETTINGS_FILE}"
                "${packaging}/templates/${file}" "${packaging}/${file}"
        DEPENDS launcher-brand "${LAUNCHER_SETTINGS_FILE}" "${packaging}/templates/${file}"
        VERBATIM)
    list(APPEND packagingFiles "${packaging}/${file}")
endwhile()

if(UNIX AND NOT APPLE)
    configure_file("${changelog}" "${packaging}/changelog" @ONLY)
    # Debian wants the manual page and the changelog compressed at the highest level, without a
    # time stamp, so that the package is the same whenever it is built.
    find_program(GZIP_PROGRAM gzip REQUIRED)
    foreach(file "${LAUNCHER_COMMAND_NAME}.1" changelog)
        add_custom_command(OUTPUT "${packaging}/${file}.gz"
            COMMAND "${GZIP_PROGRAM}" -9nfk "${packaging}/${file}"
            DEPENDS "${packaging}/${file}" VERBATIM)
        list(APPEND packagingFiles "${packaging}/${file}.gz")
    endforeach()

    install(FILES "${packaging}/${LAUNCHER_APP_ID}.desktop" DESTINATION share/applications)
    install(FILES "${packaging}/${LAUNCHER_APP_ID}.metainfo.xml" DESTINATION share/metainfo)
    install(FILES "${packaging}/${LAUNCHER_COMMAND_NAME}.1.gz" DESTINATION share/man/man1)
    install(FILES "${packaging}/changelog.gz" "${PROJECT_SOURCE_DIR}/packaging/copyright"
        DESTINATION "share/doc/${LAUNCHER_PACKAGE_NAME}")
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
add_custom_target(packagedata ALL DEPENDS ${packagingFiles})

set(CPACK_PACKAGE_NAME "${LAUNCHER_PACKAGE_NAME}")
set(CPACK_PACKAGE_VENDOR "Nimbrel")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "Nimbrel packaging <packaging@nimbrel.com>")
set(CPACK_LAUNCHER_PACKAGING_DIR "${packaging}") # where CPackProject.cmake finds the texts
set(CPACK_GENERATOR "DEB;TGZ")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "misc")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Nothing links Qt's Wayland platform; without it a Wayland session that asks Qt for it
# (QT_QPA_PLATFORM=wayland) could show no window.
if(QT_MAJOR_VERSION EQUAL 6)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-wayland")
else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "qtwayland5")
endif()
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${LAUNCHER_HOMEPAGE}")
set(CPACK_ARCHIVE_FILE_NAME "${LAUNCHER_PACKAGE_NAME}-${PROJECT_VERSION}-Linux")
set(CPACK_PROJECT_CONFIG_FILE "${PROJECT_SOURCE_DIR}/cmake/CPackProject.cmake")
include(CPack)
