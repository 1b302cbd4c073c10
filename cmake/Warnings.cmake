# Strict warnings for the project's own targets only; Qt's and GoogleTest's headers
# come in as system headers and are not held to them. They stop the build only with
# WAVEDIAL_WERROR: our own scripts and CI turn it on, while a distribution's newer
# compiler or other flags may find new (often false) warnings and must still build.
option(WAVEDIAL_WERROR "Treat the project's warnings as errors" OFF)

function(wavedial_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow)
    if(WAVEDIAL_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
