# Installs the shared libraries `targets` into the programs' private library
# folder with a version and a SONAME (lib<name>.so.<major>, pointing to
# lib<name>.so.<version>), and the unversioned name that programs loading a
# library by name (PyVISA) use. A library finds the others beside itself.
function(dmmpanel_install_shared_libraries)
    foreach(target ${ARGN})
        set_target_properties(${target} PROPERTIES
            VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR} INSTALL_RPATH "$ORIGIN")
    endforeach()
    install(TARGETS ${ARGN} LIBRARY DESTINATION ${DMMPANEL_INSTALL_LIBDIR})
endfunction()
