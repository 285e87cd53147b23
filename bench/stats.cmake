# The statistics strip's cost per update over items of 10^5 to 1.3*10^7 readings.
if(TARGET dmmpanel_core)
    add_executable(bench_stats bench_stats.cpp)
    target_link_libraries(bench_stats PRIVATE dmmpanel_core)
endif()
