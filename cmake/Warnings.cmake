# Strict warnings for the project's own targets only; Qt's and GoogleTest's headers
# come in as system headers and are not held to them. They stop the build only with
# WAVEDIAL_WERROR: our own scripts and CI turn it on, while a distribution's newer
# compiler or other flags may find new (often false) warnings and must still build.
option(WAVEDIAL_WERROR "Treat the project's warnings as errors" OFF)

# The backends and the simulator carry counts and lengths that come off the wire (a
# reply's length, a gateway's link id and sizes, a controller's status byte) between
# long, int, size_t and the protocols' 32-bit fields; a silent narrowing there turns a
# hostile or broken peer's number into a wrong count or a wrapped length. Their sources
# are also held to the conversion warnings, the signed/unsigned ones included, in every
# target that compiles them. The sources must be in the target when this is called.
set(WAVEDIAL_CONVERSION_WARNINGS -Wconversion -Wsign-conversion)

function(wavedial_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow)
    if(WAVEDIAL_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
    get_target_property(sources ${target} SOURCES)
    get_target_property(dir ${target} SOURCE_DIR)
    foreach(source IN LISTS sources)
        cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY ${dir} NORMALIZE OUTPUT_VARIABLE path)
        if(path MATCHES "/src/(bus|sim)/.+\\.cpp$")
            set_property(SOURCE ${path} TARGET_DIRECTORY ${target}
                         APPEND PROPERTY COMPILE_OPTIONS ${WAVEDIAL_CONVERSION_WARNINGS})
        endif()
    endforeach()
endfunction()
