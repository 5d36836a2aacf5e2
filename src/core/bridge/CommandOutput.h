#pragma once

#include "core/bridge/BridgeState.h"
#include "core/bridge/OutputClassifier.h"

#include <QByteArrayView>
#include <QString>

namespace ostrel {

// Reads one finished command's whole output, line by line, under `mode`, into
// a state of its own: what one command said never mixes with another's, and
// two outputs can be read at once. `serverPath` is the path the process and
// file rules look for. Device lines go to `addDevice`.
BridgeState classifyCommandOutput(int32_t mode, QByteArrayView output,
                                  const QString& serverPath = {},
                                  const DeviceItemSink& addDevice = {});

} // namespace ostrel
