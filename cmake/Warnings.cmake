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
