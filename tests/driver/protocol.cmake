# Protocol tests: value helpers, answer decoding, stored readings (decoders
# driven directly), and the vocabulary and stored-data transfer end to end
# against the simulated meter.
dmmpanel_add_test(tst_values SOURCES tst_values.cpp varnoktestaccess.h LIBS Varnok)
dmmpanel_add_test(tst_decoding SOURCES tst_decoding.cpp varnoktestaccess.h LIBS Varnok)
dmmpanel_add_test(tst_storedata SOURCES tst_storedata.cpp varnoktestaccess.h LIBS Varnok)
# End to end: driver, pools, pacing thread, transport and VISA layer against
# the simulated meter.
dmmpanel_add_test(tst_vocabulary SOURCES tst_vocabulary.cpp meterlink.h LIBS Varnok dmmsim dmmvisa)
dmmpanel_add_test(tst_livesession SOURCES tst_livesession.cpp meterlink.h varnoktestaccess.h LIBS Varnok dmmsim dmmvisa)
dmmpanel_add_test(tst_storetransfer SOURCES tst_storetransfer.cpp meterlink.h LIBS Varnok dmmsim dmmvisa)
