# Long logging sessions: memory per reading, showing and growing a large item.
if(TARGET dmmpanel_core)
    add_executable(bench_items bench_items.cpp benchitems.h)
    target_include_directories(bench_items PRIVATE ${PROJECT_SOURCE_DIR}/tests/driver)
    target_link_libraries(bench_items PRIVATE dmmpanel_core)
endif()
