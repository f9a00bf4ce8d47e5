# The packages administrators deploy (make msi): an MSI and a zip of the program folder, made on
# Linux with Debian's wixl by scripts/package-windows.sh, and signed there when SIGN_PFX and
# SIGN_PASSWORD_FILE are in the environment.

set(TARSEL_PACKAGE_SCRIPT ${CMAKE_SOURCE_DIR}/scripts/package-windows.sh)
add_custom_target(msi
    COMMAND bash ${TARSEL_PACKAGE_SCRIPT} ${CMAKE_SOURCE_DIR} ${TARSEL_DIST} ${TARSEL_VERSION}
            ${CMAKE_BINARY_DIR}
    DEPENDS dist
    COMMENT "Packing TarselCopyFile-${TARSEL_VERSION}-x64.msi and .zip"
    USES_TERMINAL
    VERBATIM)

if(NOT TARGET install_test_msi)
    return()
endif()

# The test installs this version, then a later one over it: both unsigned and with a help link of
# the test's own, whatever the caller's environment holds.
math(EXPR later_major "${TARSEL_VERSION_MAJOR} + 1")
set(TARSEL_LATER_VERSION ${later_major}.00)
set(msi_dir ${CMAKE_BINARY_DIR}/tests/msi)
set(test_help_link https://help.invalid/TarselCopyFile)
set(test_packages)
foreach(version IN ITEMS ${TARSEL_VERSION} ${TARSEL_LATER_VERSION})
    set(msi ${msi_dir}/TarselCopyFile-${version}-x64.msi)
    add_custom_command(OUTPUT ${msi}
        COMMAND ${CMAKE_COMMAND} -E env --unset=SIGN_PFX --unset=SIGN_PASSWORD_FILE
                HELP_LINK=${test_help_link} bash ${TARSEL_PACKAGE_SCRIPT} ${CMAKE_SOURCE_DIR} ${TARSEL_DIST} ${version} ${msi_dir}
        DEPENDS ${TARSEL_PACKAGE_SCRIPT} ${CMAKE_SOURCE_DIR}/packaging/windows/TarselCopyFile.wxs
                ${CMAKE_SOURCE_DIR}/packaging/windows/policy/TarselCopyFile.admx
                ${CMAKE_SOURCE_DIR}/packaging/windows/policy/en-US/TarselCopyFile.adml
                TarselCopyFile tarselcopy tarselcopyw
        COMMENT "Packing the test's TarselCopyFile-${version}-x64.msi"
        VERBATIM)
    list(APPEND test_packages ${msi})
endforeach()
add_custom_target(test_packages DEPENDS ${test_packages})
add_dependencies(test_packages dist)
add_dependencies(install_test_msi test_packages)
# The shortcuts' arguments, read through the shell's own interface.
target_link_libraries(install_test_msi PRIVATE ole32 uuid)
target_compile_definitions(install_test_msi PRIVATE
    TARSEL_MSI_VERSION="${TARSEL_VERSION}" TARSEL_LATER_MSI_VERSION="${TARSEL_LATER_VERSION}"
    TARSEL_MSI_HELP_LINK="${test_help_link}")

# Signing happens on the build machine, so its test runs there, not under Wine.
add_test(NAME install_test_signing
         COMMAND bash ${CMAKE_SOURCE_DIR}/tests/install/signing.sh ${CMAKE_SOURCE_DIR} ${TARSEL_DIST}
                 ${TARSEL_VERSION})
