# Sending a journal to InfluxDB and MQTT servers the benchmark starts: the
# rate of a backlog and the sender's processor time per reading.
if(TARGET dmmforward)
    add_executable(bench_forward bench_forward.cpp)
    target_link_libraries(bench_forward PRIVATE dmmforward dmmjournal)
endif()
