# The recording journal's cost per reading on the GUI thread, and its size.
if(TARGET dmmpanel_core)
    add_executable(bench_journal bench_journal.cpp benchitems.h)
    target_include_directories(bench_journal PRIVATE ${PROJECT_SOURCE_DIR}/tests/driver)
    target_link_libraries(bench_journal PRIVATE dmmpanel_core)
endif()
