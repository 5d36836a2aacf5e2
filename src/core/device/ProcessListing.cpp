#include "core/device/ProcessListing.h"

#include "core/bridge/CommandOutput.h"

namespace ostrel {

ServerProcess readServerProcess(QByteArrayView output, const QString& serverPath) {
    const BridgeState state = classifyCommandOutput(Mode::ServerProcess, output, serverPath);
    return {state.serverRunning, state.serverPid};
}

} // namespace ostrel
