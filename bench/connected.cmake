# Memory of the real window connected to the simulated meter, idle and recording.
if(TARGET dmmpanel_core)
    add_executable(bench_connected bench_connected.cpp benchsession.h)
    target_link_libraries(bench_connected PRIVATE dmmpanel_core dmmsim)
endif()
