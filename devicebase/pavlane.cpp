#include "pavlane.h"

Pavlane::Pavlane(QObject *parent) : QObject(parent) {}

Pavlane::~Pavlane() = default;
