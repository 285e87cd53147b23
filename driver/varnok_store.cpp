// placeholder until the stored-data transfer is written
#include "varnok.h"

void Varnok::startGetAllStore() {}
void Varnok::stopGetStore() {}
const StoreParam &Varnok::getStoreParam() const { return storeParam; }
DmmData *Varnok::makeStoreData(const QByteArray &) { return nullptr; }
void Varnok::decodeStoreCount(const QByteArray &) {}
void Varnok::decodeStoreUpload(const QByteArray &) {}
