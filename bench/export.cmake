# Table export as .xlsx, CSV and .xls (through LibreOffice): time per table
# size, memory growth, and the longest the window's event loop waits meanwhile.
if(TARGET dmmpanel_core)
    add_executable(bench_export bench_export.cpp ${PROJECT_SOURCE_DIR}/tests/app/testrecords.cpp)
    target_include_directories(bench_export PRIVATE ${PROJECT_SOURCE_DIR}/tests/app)
    target_link_libraries(bench_export PRIVATE dmmpanel_core)
endif()
