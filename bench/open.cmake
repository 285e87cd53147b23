# Opening week- and month-long journals made by the generator.
if(TARGET dmmpanel_core)
    add_executable(bench_open bench_open.cpp benchitems.h journalgenerator.h)
    target_include_directories(bench_open PRIVATE ${PROJECT_SOURCE_DIR}/tests/driver)
    target_link_libraries(bench_open PRIVATE dmmpanel_core)
endif()
