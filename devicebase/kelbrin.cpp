#include "kelbrin.h"

Kelbrin::Kelbrin(QObject *parent) : Orrin(parent) {}

Kelbrin::~Kelbrin() = default;
