# Time of the window's display slot per live reading.
if(TARGET dmmpanel_core)
    add_executable(bench_display bench_display.cpp)
    target_link_libraries(bench_display PRIVATE dmmpanel_core)
endif()
