# Before any target of a Windows cross build: the MinGW runtime DLLs that the programs and
# Qt's DLLs load, and wine as the emulator that runs the tests (CTest and GoogleTest's
# test discovery both go through it) in the build's own wine prefix.
set(mingw_runtime)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
        message(FATAL_ERROR "The MinGW runtime ${dll} was not found (${path}).")
    endif()
    get_filename_component(path ${path} REALPATH)
    list(APPEND mingw_runtime ${path})
endforeach()
set(WAVEDIAL_MINGW_RUNTIME ${mingw_runtime})

if(CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
    # The folders wine looks in for DLLs: Qt's and the MinGW runtime's. Qt finds its
    # plugins itself, next to its own DLLs.
    set(dll_dirs ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_BINS})
    foreach(dll IN LISTS mingw_runtime)
        get_filename_component(dir ${dll} DIRECTORY)
        list(APPEND dll_dirs ${dir})
    endforeach()
    list(REMOVE_DUPLICATES dll_dirs)
    list(JOIN dll_dirs ":" dll_path)
    set(runner ${PROJECT_BINARY_DIR}/wine-run)
    file(WRITE ${runner} "#!/bin/sh\n"
         "WAVEDIAL_WINEPREFIX=\${WAVEDIAL_WINEPREFIX:-${PROJECT_BINARY_DIR}/wineprefix} "
         "WAVEDIAL_WINE_DLLS='${dll_path}' exec '${PROJECT_SOURCE_DIR}/scripts/wine-run.sh' \"$@\"\n")
    file(CHMOD ${runner} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
         GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${runner})
endif()
