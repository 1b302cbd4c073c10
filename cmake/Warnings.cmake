# Strict warnings for the project's own targets only; Qt's and GoogleTest's headers
# come in as system headers and are not held to them.
function(wavedial_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Werror)
endfunction()
