// Hands each output line to the classifier with the device list as its sink.
#include "app/AppDelegate.h"
#include "bridge/OutputClassifier.h"

#include <QComboBox>

namespace ostrel {

void AppDelegate::processOneLineFromOutputMessage(char* line) {
    classifyOutputLine(bridge_, line, [this](const char* serial) {
        if (deviceListComboBox)
            deviceListComboBox->addItem(QString::fromUtf8(serial));
    });
}

} // namespace ostrel
