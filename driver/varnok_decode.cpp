// placeholder until the answer decoding is written
#include "varnok.h"

void Varnok::decodeLiveData(const QByteArray &) {}
void Varnok::convertDmmDataValues(DmmData *) {}
void Varnok::decodeRemoteState(const QByteArray &) {}
