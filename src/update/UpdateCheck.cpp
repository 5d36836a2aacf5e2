#include "app/AppDelegate.h"

namespace ostrel {

int AppDelegate::checkForUpdate() {
    return -1;
}
void AppDelegate::onCheckForUpdateMenu() {}
void AppDelegate::startBackgroundUpdateCheck() {}

} // namespace ostrel
