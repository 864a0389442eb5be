// Connection and acquisition control: connect, disconnect, online/offline, capture,
// record, stop and storing to flash.
#include "app/veltrix.h"

void Veltrix::connectSensor() {}
void Veltrix::disconnectSensor() {}
void Veltrix::updateOnline() {}
void Veltrix::recordImg() {}
void Veltrix::stopImg() {}
void Veltrix::captureImg() {}
void Veltrix::writeToSensor() {}
bool Veltrix::readSensorSettings() { return false; }
bool Veltrix::writeSensorSettings() { return false; }
bool Veltrix::waitForLoopEnd(int) { return true; }
void Veltrix::setAcquisitionActions(int, int, int, int, int, int) {}
void Veltrix::setStatus(const QString&, const QString&) {}
void Veltrix::stopAcquisitionForShutdown() {}
void Veltrix::loadImage(unsigned char*, int, int) {}
void Veltrix::loadProfile(int*, short*, float*, float*, bool, int, int, float) {}
void Veltrix::loadProduct(float*, float*, int, unsigned char*, float) {}
