# Engine tests. The pools and the pacing thread are tested on their own, built
# from their sources without the transport, so that the thread sanitizer stage
# can build and run just them.
set(pacing_dir ${PROJECT_SOURCE_DIR}/driver)
add_library(varnok_pacing STATIC
    ${pacing_dir}/command.h ${pacing_dir}/command.cpp
    ${pacing_dir}/commandpool.h ${pacing_dir}/commandpool.cpp
    ${pacing_dir}/autoresetevent.h ${pacing_dir}/autoresetevent.cpp
    ${pacing_dir}/commandpoolthread.h ${pacing_dir}/commandpoolthread.cpp)
target_include_directories(varnok_pacing PUBLIC ${pacing_dir})
target_link_libraries(varnok_pacing PUBLIC Qt5::Core Threads::Threads)

dmmpanel_add_test(tst_commandpool SOURCES tst_commandpool.cpp LIBS varnok_pacing)
dmmpanel_add_test(tst_poolthread SOURCES tst_poolthread.cpp LIBS varnok_pacing)

# The driver against the simulated meter, through the transport and the VISA layer.
dmmpanel_add_test(tst_driverlink SOURCES tst_driverlink.cpp meterlink.h varnoktestaccess.h LIBS Varnok dmmsim)

# The reconnect logic over the driver, against the simulated meter.
dmmpanel_add_test(tst_reconnect SOURCES tst_reconnect.cpp meterlink.h LIBS Varnok dmmsim)
