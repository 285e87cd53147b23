# Data table: showing an item and jumping to any row, 10^3 to 1.3 x 10^7 rows.
if(TARGET dmmpanel_core)
    add_executable(bench_table bench_table.cpp ${PROJECT_SOURCE_DIR}/tests/app/testrecords.cpp)
    target_include_directories(bench_table PRIVATE ${PROJECT_SOURCE_DIR}/tests/app)
    target_link_libraries(bench_table PRIVATE dmmpanel_core)
endif()
