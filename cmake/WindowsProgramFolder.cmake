# The program folder that runs on a clean Windows: the program, the Qt libraries and plugins it loads
# and the mingw-w64 runtime, laid out as Qt looks for them (plugins in folders beside the program).
# Also the Wine wrapper through which CTest runs the cross-built tests.

set(TARSEL_DIST ${CMAKE_BINARY_DIR}/dist)

# The mingw-w64 runtime libraries that every program of this compiler needs (a Visual C++ build
# leaves its runtime to windeployqt or the system).
set(TARSEL_MINGW_RUNTIME)
set(TARSEL_MINGW_RUNTIME_NAMES)
if(MINGW)
    set(TARSEL_MINGW_RUNTIME_NAMES libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
endif()
foreach(dll IN LISTS TARSEL_MINGW_RUNTIME_NAMES)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${found}" OR NOT EXISTS "${found}")
        message(FATAL_ERROR "mingw-w64 runtime ${dll} not found")
    endif()
    list(APPEND TARSEL_MINGW_RUNTIME ${found})
endforeach()

# libsodium, linked into the programs for release signatures: its licence (ISC) asks that its
# copyright and permission notice go with every copy.
set(TARSEL_SODIUM_LICENCE ${TARSEL_SODIUM_PREFIX}/LICENSE)
if(NOT EXISTS ${TARSEL_SODIUM_LICENCE})
    message(FATAL_ERROR "${TARSEL_SODIUM_LICENCE} not found: "
                        "scripts/build-libsodium-mingw.sh puts it there")
endif()

# The mingw runtime comes with its debugging information: most of its size.
set(TARSEL_STRIP_DIST ${CMAKE_COMMAND} -E true)
if(MINGW)
    list(TRANSFORM TARSEL_MINGW_RUNTIME_NAMES PREPEND ${TARSEL_DIST}/ OUTPUT_VARIABLE stripped)
    set(TARSEL_STRIP_DIST ${CMAKE_STRIP} --strip-unneeded ${TARSEL_DIST}/TarselCopyFile.exe
                          ${TARSEL_DIST}/tarselcopy.exe ${TARSEL_DIST}/tarselcopyw.exe ${stripped})
endif()

add_custom_target(dist ALL
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${TARSEL_DIST}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TARSEL_DIST}/platforms ${TARSEL_DIST}/styles
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:TarselCopyFile> $<TARGET_FILE:tarselcopy>
            $<TARGET_FILE:tarselcopyw>
            $<TARGET_FILE:Qt6::Core>
            $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets> ${TARSEL_MINGW_RUNTIME}
            ${TARSEL_DIST}
    COMMAND ${CMAKE_COMMAND} -E copy ${TARSEL_SODIUM_LICENCE} ${TARSEL_DIST}/libsodium.LICENSE.txt
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin>
            ${TARSEL_DIST}/platforms
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin>
            ${TARSEL_DIST}/styles
    COMMAND ${TARSEL_STRIP_DIST}
    DEPENDS TarselCopyFile tarselcopy tarselcopyw
    COMMENT "Laying out the program folder ${TARSEL_DIST}"
    VERBATIM)

if(NOT CMAKE_CROSSCOMPILING)
    return()
endif()

# Built on Linux, CTest runs each test under Wine through this wrapper.
set(TARSEL_WINE_PATH "$<TARGET_FILE_DIR:Qt6::Core>")
foreach(dll IN LISTS TARSEL_MINGW_RUNTIME)
    get_filename_component(dir ${dll} DIRECTORY)
    string(APPEND TARSEL_WINE_PATH ";${dir}")
endforeach()
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/wine-path.txt CONTENT "${TARSEL_WINE_PATH}")
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh ${CMAKE_BINARY_DIR})
