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

# libgcrypt and libgpg-error, which it loads, for release signatures: DLLs beside the program (their
# licence, LGPL-2.1 or later, lets people replace them with their own build), with the licence's
# text and the libraries' copyright notices as Debian ships them.
get_filename_component(gcrypt_dir ${TARSEL_GCRYPT_LIBRARY} DIRECTORY)
set(TARSEL_GCRYPT_DLL_NAMES libgcrypt-20.dll libgpg-error-0.dll)
set(TARSEL_GCRYPT_DLLS)
foreach(dll IN LISTS TARSEL_GCRYPT_DLL_NAMES)
    get_filename_component(found ${gcrypt_dir}/../bin/${dll} REALPATH)
    if(NOT EXISTS ${found})
        message(FATAL_ERROR "${dll} not found beside ${TARSEL_GCRYPT_LIBRARY}: "
                            "scripts/install-deps.sh windows installs it")
    endif()
    list(APPEND TARSEL_GCRYPT_DLLS ${found})
endforeach()
set(TARSEL_GCRYPT_NOTICES
    /usr/share/common-licenses/LGPL-2.1 LGPL-2.1.txt
    /usr/share/doc/libgcrypt-mingw-w64-dev/copyright libgcrypt.copyright.txt
    /usr/share/doc/libgpg-error-mingw-w64-dev/copyright libgpg-error.copyright.txt)
set(TARSEL_COPY_NOTICES)
while(TARSEL_GCRYPT_NOTICES)
    list(POP_FRONT TARSEL_GCRYPT_NOTICES from to)
    if(NOT EXISTS ${from})
        message(FATAL_ERROR "${from} not found: scripts/install-deps.sh windows installs it")
    endif()
    list(APPEND TARSEL_COPY_NOTICES COMMAND ${CMAKE_COMMAND} -E copy ${from} ${TARSEL_DIST}/${to})
endwhile()

# The mingw runtime comes with its debugging information: most of its size.
set(TARSEL_STRIP_DIST ${CMAKE_COMMAND} -E true)
if(MINGW)
    list(TRANSFORM TARSEL_MINGW_RUNTIME_NAMES PREPEND ${TARSEL_DIST}/ OUTPUT_VARIABLE stripped)
    list(TRANSFORM TARSEL_GCRYPT_DLL_NAMES PREPEND ${TARSEL_DIST}/ OUTPUT_VARIABLE gcrypt_stripped)
    set(TARSEL_STRIP_DIST ${CMAKE_STRIP} --strip-unneeded ${TARSEL_DIST}/TarselCopyFile.exe
                          ${TARSEL_DIST}/tarselcopy.exe ${TARSEL_DIST}/tarselcopyw.exe ${stripped} ${gcrypt_stripped})
endif()

add_custom_target(dist ALL
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${TARSEL_DIST}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TARSEL_DIST}/platforms ${TARSEL_DIST}/styles
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:TarselCopyFile> $<TARGET_FILE:tarselcopy>
            $<TARGET_FILE:tarselcopyw>
            $<TARGET_FILE:Qt6::Core>
            $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets> ${TARSEL_MINGW_RUNTIME}
            ${TARSEL_GCRYPT_DLLS} ${TARSEL_DIST}
    ${TARSEL_COPY_NOTICES}
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
foreach(dll IN LISTS TARSEL_MINGW_RUNTIME TARSEL_GCRYPT_DLLS)
    get_filename_component(dir ${dll} DIRECTORY)
    string(APPEND TARSEL_WINE_PATH ";${dir}")
endforeach()
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/wine-path.txt CONTENT "${TARSEL_WINE_PATH}")
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh ${CMAKE_BINARY_DIR})
