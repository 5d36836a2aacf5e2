#include "core/bridge/CommandOutput.h"

#include "core/process/OutputLineBuffer.h"

#include <cstring>
#include <memory>

namespace ostrel {

BridgeState classifyCommandOutput(int32_t mode, QByteArrayView output, const QString& serverPath,
                                  const DeviceItemSink& addDevice) {
    BridgeState state;
    state.CommandMode = mode;
    const QByteArray path = serverPath.toUtf8();
    std::strncpy(state.serverPath, path.constData(), sizeof state.serverPath - 1);
    // The buffer is large and fixed; it lives on the heap so that deep
    // coroutine frames stay small.
    const auto buffer = std::make_unique<OutputLineBuffer>();
    const auto onLine = [&](char* line) {
        processOneLineFromOutputMessage(state, line, addDevice);
    };
    buffer->assemble(std::string_view(output.data(), static_cast<std::size_t>(output.size())),
                     onLine);
    buffer->flush(onLine);
    return state;
}

} // namespace ostrel
