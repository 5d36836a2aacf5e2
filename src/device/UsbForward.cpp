#include "app/AppDelegate.h"

namespace ostrel {

void AppDelegate::onUSBConnectButtonClicked() {}
void AppDelegate::adbForward(int32_t) {}

} // namespace ostrel
