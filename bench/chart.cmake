# Trend chart repaint times and memory at 10^3 to 10^6 readings per line.
if(TARGET dmmpanel_core)
    add_executable(bench_chart bench_chart.cpp)
    target_link_libraries(bench_chart PRIVATE dmmpanel_core)
endif()
