# Read by cpack for each generator.
#
# The summary and description name the product, which only the build knows: launcher-brand wrote
# them (cmake/Packaging.cmake).
foreach(text summary description)
    if(NOT EXISTS "${CPACK_LAUNCHER_PACKAGING_DIR}/${text}")
        message(FATAL_ERROR "No ${CPACK_LAUNCHER_PACKAGING_DIR}/${text}: build before packaging.")
    endif()
endforeach()
file(READ "${CPACK_LAUNCHER_PACKAGING_DIR}/summary" CPACK_PACKAGE_DESCRIPTION_SUMMARY)
string(STRIP "${CPACK_PACKAGE_DESCRIPTION_SUMMARY}" CPACK_PACKAGE_DESCRIPTION_SUMMARY)
file(READ "${CPACK_LAUNCHER_PACKAGING_DIR}/description" CPACK_PACKAGE_DESCRIPTION)

# dpkg-shlibdeps (from dpkg-dev) works out the .deb's dependencies and CPack finds the executables
# to hand it with `file`: without `file` CPack stops with a message that names neither package,
# without dpkg-shlibdeps it writes a .deb that depends on nothing. Neither is needed to build or
# run, so ./run.sh does not install them.
if(CPACK_GENERATOR STREQUAL "DEB")
    find_program(LAUNCHER_FILE_PROGRAM file)
    find_program(LAUNCHER_DPKG_SHLIBDEPS dpkg-shlibdeps)
    if(NOT LAUNCHER_FILE_PROGRAM OR NOT LAUNCHER_DPKG_SHLIBDEPS)
        message(FATAL_ERROR "A .deb needs `file` and dpkg-shlibdeps to work out its dependencies: "
            "apt-get install file dpkg-dev (./test.sh installs them), or cpack -G TGZ.")
    endif()
endif()
