#include "app/AppDelegate.h"

namespace ostrel {

void AppDelegate::onAdbButtonClicked() {}

} // namespace ostrel
