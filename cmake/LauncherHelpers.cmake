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
    target_link_libraries(${name} PRIVATE Qt5::Core)
endfunction()

# A launcher executable: main() over the core library, with its own embedded settings.
#   launcher_add_executable(<target> <settings.ini> [OUTPUT_DIR dir])
function(launcher_add_executable target settings)
    cmake_parse_arguments(ARG "" "OUTPUT_DIR;OUTPUT_NAME" "" ${ARGN})
    launcher_add_resources(${target}_resources "${settings}")
    add_executable(${target} "${PROJECT_SOURCE_DIR}/src/app/main.cpp")
    target_link_libraries(${target} PRIVATE ${target}_resources launchercore)
    launcher_warnings(${target})
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

# The product name exactly as the launcher reads it: [target] product_name of an INI settings
# file. A plain value and one in double quotes (with \" and \\ inside) are understood; a value
# that QSettings would read as something else (a list, other escapes, a typed @ value) stops the
# configuration rather than brand the texts with a name the launcher does not show.
#   launcher_read_product_name(<settings.ini> <out var>)
function(launcher_read_product_name settings out)
    if(NOT EXISTS "${settings}")
        message(FATAL_ERROR "Settings file not found: ${settings}")
    endif()
    file(STRINGS "${settings}" lines ENCODING UTF-8)
    set(group "")
    set(found FALSE)
    foreach(line IN LISTS lines)
        string(REGEX REPLACE "\r$" "" line "${line}")
        string(STRIP "${line}" line)
        if(line MATCHES "^\\[(.*)\\]$")
            set(group "${CMAKE_MATCH_1}")
        elseif(group STREQUAL "target" AND line MATCHES "^product_name[ \t]*=(.*)$")
            string(STRIP "${CMAKE_MATCH_1}" value)
            set(found TRUE)
        endif()
    endforeach()
    if(NOT found)
        message(FATAL_ERROR "${settings} has no product_name in its [target] group")
    endif()
    if(value MATCHES "^\"(.*)\"$")
        set(value "${CMAKE_MATCH_1}")
        string(REGEX REPLACE "\\\\[\\\\\"]" "" probe "${value}")
        if(probe MATCHES "\"")
            set(bad TRUE)
        endif()
    else()
        string(REGEX REPLACE "\\\\[\\\\\"]" "" probe "${value}")
        if(probe MATCHES "[\",]|^@")
            set(bad TRUE)
        endif()
    endif()
    if(bad OR probe MATCHES "\\\\" OR value MATCHES ";")
        message(FATAL_ERROR "product_name in ${settings} is not a plain name: write it in double "
            "quotes, with \\\" for a quote and \\\\ for a backslash, and without ';'")
    endif()
    string(REGEX REPLACE "\\\\([\\\\\"])" "\\1" value "${value}")
    if(value STREQUAL "")
        message(WARNING "product_name in ${settings} is empty: the texts will name no product")
    endif()
    set(${out} "${value}" PARENT_SCOPE)
endfunction()

# Text with the five characters that XML gives a meaning escaped, for element content and
# attribute values alike.
function(launcher_xml_escape out text)
    string(REPLACE "&" "&amp;" text "${text}")
    string(REPLACE "<" "&lt;" text "${text}")
    string(REPLACE ">" "&gt;" text "${text}")
    string(REPLACE "\"" "&quot;" text "${text}")
    string(REPLACE "'" "&apos;" text "${text}")
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Text folded into lines of at most <width> characters at blanks.
function(launcher_wrap_text out width text)
    string(REGEX REPLACE "[ \t\n]+" ";" words "${text}")
    set(result "")
    set(line "")
    foreach(word IN LISTS words)
        if(line STREQUAL "")
            set(line "${word}")
        else()
            string(LENGTH "${line} ${word}" length)
            if(length GREATER width)
                string(APPEND result "${line}\n")
                set(line "${word}")
            else()
                string(APPEND line " ${word}")
            endif()
        endif()
    endforeach()
    set(${out} "${result}${line}" PARENT_SCOPE)
endfunction()
