#include "app/AppDelegate.h"

namespace ostrel {

void AppDelegate::adbDevices() {}
void AppDelegate::handleAdbDevicesOutput() {}
void AppDelegate::comboBoxSelectionDidChange(int) {}

} // namespace ostrel
