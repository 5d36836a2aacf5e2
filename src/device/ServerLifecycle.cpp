#include "app/AppDelegate.h"

namespace ostrel {

void AppDelegate::onStartButtonClicked() {}
void AppDelegate::adbStartOstrelVNCServer() {}
void AppDelegate::adbStopOstrelVNCServer() {}
bool AppDelegate::checkOstrelVNCServerFileExists() {
    return false;
}
void AppDelegate::findOstrelVNCServerPid() {}
void AppDelegate::updateStatus() {}

} // namespace ostrel
