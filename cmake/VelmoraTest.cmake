# velmora_add_test(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>])
# Builds one Qt Test executable into bin/ and registers it with CTest. Every
# test links the shared test support (testsupport/). Its CTest labels say
# what it needs besides the build:
#   unit         nothing (the default): scripts/test --quick runs these alone
#   real-server  a real server it starts itself: FTP, TFTP, MariaDB, PulseAudio
#   display      windows (the offscreen platform or an X display)
#   slow         over a minute with scripted fakes alone
function(velmora_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
    if(NOT ARG_LABELS)
        set(ARG_LABELS unit)
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE velmora_warnings Qt5::Test testsupport ${ARG_LIBS})
    add_test(NAME ${name} COMMAND ${name})
    # Tests that use a real X display (xcb) need no OpenGL: without this Qt
    # loads the system's GL libraries (Mesa), whose own allocations at exit
    # LeakSanitizer would report as the test's.
    set(environment "QT_QPA_PLATFORM=offscreen" "QT_XCB_GL_INTEGRATION=none")
    if(VELMORA_SANITIZE)
        # Qt's own leaks at exit (screens of the platform plugins, D-Bus).
        list(APPEND environment "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/cmake/lsan-qt.supp")
    endif()
    set_tests_properties(${name} PROPERTIES TIMEOUT 600 ENVIRONMENT "${environment}" LABELS "${ARG_LABELS}")
endfunction()
