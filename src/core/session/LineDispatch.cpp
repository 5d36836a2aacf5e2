// Hands each output line to the classifier with the device list as its sink.
#include "core/bridge/OutputClassifier.h"
#include "core/session/BridgeSession.h"

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

void BridgeSession::processOneLineFromOutputMessage(char* line) {
    classifyOutputLine(bridge_, line, [this](const char* serial) {
        listedSerials_.append(QString::fromUtf8(serial));
    });
}

} // namespace ostrel
