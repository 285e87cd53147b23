# Ending the window (SIGTERM) while it holds a restored item of 10^6 readings.
if(TARGET dmmpanel_core)
    add_executable(bench_close bench_close.cpp benchitems.h benchsession.h journalgenerator.h)
    target_include_directories(bench_close PRIVATE ${PROJECT_SOURCE_DIR}/tests/driver)
    target_link_libraries(bench_close PRIVATE dmmpanel_core dmmsim)
endif()
