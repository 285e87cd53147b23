# Project-wide compiler flags: warnings, optional -Werror and sanitizers.
add_compile_options(-Wall -Wextra -Wpedantic)
if(DMMPANEL_WERROR)
    add_compile_options(-Werror)
endif()
if(DMMPANEL_SANITIZE)
    add_compile_options(-fsanitize=${DMMPANEL_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${DMMPANEL_SANITIZE})
endif()

# Registers a Qt Test executable with CTest: dmmpanel_add_test(NAME SOURCES... LIBS ...)
function(dmmpanel_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/common)
    target_link_libraries(${name} PRIVATE Qt5::Test ${ARG_LIBS})
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;DMMPANEL_SIMULATOR=;DMMPANEL_SIMULATOR_FAULTS="
        TIMEOUT 600)
endfunction()

# Fails the configure step when a source matching `pattern` (such as
# tst_*.cpp) below the calling directory is not built by a target of its own
# name, so that a suite or benchmark can never drop out of the build unseen.
function(dmmpanel_require_target_per_source pattern)
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
         ${CMAKE_CURRENT_SOURCE_DIR}/${pattern})
    foreach(source ${sources})
        get_filename_component(name ${source} NAME_WE)
        if(NOT TARGET ${name})
            message(FATAL_ERROR "${CMAKE_CURRENT_SOURCE_DIR}/${source} is not built: no target ${name}")
        endif()
    endforeach()
endfunction()
