# Warnings for every target of the project, without touching global flags; with
# LAUNCHER_SANITIZE also AddressSanitizer and UndefinedBehaviorSanitizer.
function(launcher_warnings target)
    if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
        target_compile_options(${target} PRIVATE -Wall -Wextra)
        if(LAUNCHER_SANITIZE)
            target_compile_options(${target} PRIVATE
                -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
            target_link_options(${target} PRIVATE -fsanitize=address,undefined)
        endif()
        if(LAUNCHER_FUZZ)
            # Coverage feedback from all of the program's code, not only the fuzz target.
            target_compile_options(${target} PRIVATE
                -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
            target_link_options(${target} PRIVATE -fsanitize=address,undefined)
        endif()
    elseif(MSVC)
        target_compile_options(${target} PRIVATE /W4)
    endif()
endfunction()

# The resource tree (pictures and the settings file) compiled into an object library, so its
# static registration is linked into every executable that uses it. A static library would let
# the linker drop the unreferenced initialiser.
#   launcher_add_resources(<name> <settings.ini>)
function(launcher_add_resources name settings)
    set(qrc "${CMAKE_CURRENT_BINARY_DIR}/${name}.qrc")
    set(LAUNCHER_QRC_BITMAPS "${PROJECT_SOURCE_DIR}/resources/launcher/bitmaps")
    set(LAUNCHER_QRC_SETTINGS "${settings}")
    configure_file("${PROJECT_SOURCE_DIR}/resources/launcher.qrc.in" "${qrc}" @ONLY)
    add_library(${name} OBJECT "${qrc}")
    set_target_properties(${name} PROPERTIES AUTORCC_OPTIONS "--no-compress")
    target_link_libraries(${name} PRIVATE Qt::Core)
endfunction()

# The update check's knobs compiled into a library of their own (src/update/updateknobs.h).
#   launcher_add_knobs(<name> STATIC|OBJECT SCHEME <http|https> HOST <host[:port]>
#                      [PUBLIC_KEY <base64>] [DOWNLOAD_HOSTS <hosts>])
function(launcher_add_knobs name kind)
    cmake_parse_arguments(ARG "" "SCHEME;HOST;PUBLIC_KEY;DOWNLOAD_HOSTS" "" ${ARGN})
    add_library(${name} ${kind} "${PROJECT_SOURCE_DIR}/src/update/updateknobs.cpp")
    target_compile_definitions(${name} PRIVATE
        LAUNCHER_UPDATE_SCHEME="${ARG_SCHEME}" LAUNCHER_UPDATE_HOST="${ARG_HOST}"
        LAUNCHER_UPDATE_PUBLIC_KEY="${ARG_PUBLIC_KEY}" LAUNCHER_DOWNLOAD_HOSTS="${ARG_DOWNLOAD_HOSTS}")
    set_target_properties(${name} PROPERTIES AUTOMOC OFF AUTORCC OFF AUTOUIC OFF)
    launcher_warnings(${name})
endfunction()

# The module `dir`/lib/launcher-window.so, from the window objects and more sources (the test
# build's hooks). A launcher in `dir` loads it (src/app/windowsystem.h).
#   launcher_add_window_module(<name> <dir> [sources...])
function(launcher_add_window_module name dir)
    add_library(${name} MODULE ${ARGN})
    target_link_libraries(${name} PRIVATE launcherwindow)
    set_target_properties(${name} PROPERTIES PREFIX "" OUTPUT_NAME launcher-window
        LIBRARY_OUTPUT_DIRECTORY "${dir}/lib")
    launcher_warnings(${name})
endfunction()

# A launcher executable: main() over the core library, with its own embedded settings; KNOBS: an
# OBJECT library of launcher_add_knobs linked in place of the build's own.
#   launcher_add_executable(<target> <settings.ini> [OUTPUT_DIR dir])
function(launcher_add_executable target settings)
    cmake_parse_arguments(ARG "" "OUTPUT_DIR;OUTPUT_NAME;KNOBS" "" ${ARGN})
    launcher_add_resources(${target}_resources "${settings}")
    add_executable(${target} "${PROJECT_SOURCE_DIR}/src/app/main.cpp")
    # The knobs' objects come first on the link line, so the core's own are not taken.
    target_link_libraries(${target} PRIVATE ${target}_resources ${ARG_KNOBS} launchercore)
    launcher_warnings(${target})
    if(LAUNCHER_WINDOW_MODULE)
        # The window module takes the program's own functions from the program.
        set_target_properties(${target} PROPERTIES ENABLE_EXPORTS ON)
    endif()
    if(ARG_OUTPUT_DIR)
        set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${ARG_OUTPUT_DIR}")
    endif()
    if(ARG_OUTPUT_NAME)
        set_target_properties(${target} PROPERTIES OUTPUT_NAME "${ARG_OUTPUT_NAME}")
    endif()
    if(WIN32)
        # With a static Qt every plugin it has is linked in unless told otherwise, and a linked
        # plugin is loaded whatever the library paths say: the bearer plugin that the launcher
        # keeps out on purpose among them. Only the desktop's platform and style.
        qt5_import_plugins(${target}
            INCLUDE_BY_TYPE platforms Qt5::QWindowsIntegrationPlugin
            EXCLUDE_BY_TYPE bearer generic imageformats printsupport)
    endif()
endfunction()
