# Installs the shared libraries `targets` with a version and a SONAME
# (lib<name>.so.<major>, pointing to lib<name>.so.<version>), and the
# unversioned name that programs loading a library by name (PyVISA) use.
function(dmmpanel_install_shared_libraries)
    foreach(target ${ARGN})
        set_target_properties(${target} PROPERTIES
            VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
    endforeach()
    install(TARGETS ${ARGN} LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
endfunction()
