# Compiler warnings: one INTERFACE target that every target of the project
# links PRIVATE. velmora_check_warnings() at the end of the root
# CMakeLists.txt stops the configuration when a target does not.
# VELMORA_WERROR makes every warning an error; scripts/test sets it, so a
# warning fails the tests and CI.
option(VELMORA_WERROR "Treat compiler warnings as errors" OFF)

add_library(velmora_warnings INTERFACE)
target_compile_options(velmora_warnings INTERFACE -Wall -Wextra $<$<BOOL:${VELMORA_WERROR}>:-Werror>)

# Checks every library and executable in `dir` and below.
function(velmora_check_warnings dir)
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target ${targets})
        get_target_property(type ${target} TYPE)
        if(type STREQUAL "STATIC_LIBRARY" OR type STREQUAL "SHARED_LIBRARY" OR type STREQUAL "EXECUTABLE")
            get_target_property(libraries ${target} LINK_LIBRARIES)
            if(NOT "velmora_warnings" IN_LIST libraries)
                message(FATAL_ERROR "${target} (${dir}) does not link velmora_warnings")
            endif()
        endif()
    endforeach()
    get_property(subdirectories DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    foreach(subdirectory ${subdirectories})
        velmora_check_warnings(${subdirectory})
    endforeach()
endfunction()
