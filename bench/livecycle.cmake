# Live-cycle speed against the simulated meter (prints passes per second
# beside the bound of the pacing).
add_executable(bench_livecycle bench_livecycle.cpp benchsession.h)
target_link_libraries(bench_livecycle PRIVATE Varnok dmmsim)
