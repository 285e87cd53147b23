// placeholder until the value helpers are written
#include "varnok.h"

DmmData::ValueMode Varnok::getValueMode(double) { return DmmData::ValueNormal; }
QString Varnok::getValueStr(DmmData::ValueMode) { return QString(); }
void Varnok::convertValue(double *, QString *) {}
bool Varnok::detachValueUnit(const QString &, QString *, QString *) { return false; }
int Varnok::decimalsFor(int, double) { return 0; }
