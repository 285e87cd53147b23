# Stored-data upload speed against the simulated meter (prints records per
# second).
add_executable(bench_upload bench_upload.cpp benchsession.h)
target_link_libraries(bench_upload PRIVATE Varnok dmmsim)
