#pragma once

#include <QString>

namespace ostrel {

// Where the output of a server launched on the device `serial` is kept: a
// file of this program's own in its runtime folder, or in its cache folder
// when there is none. Empty when neither folder can be had.
QString serverOutputFile(const QString& serial);

// The last `count` lines the server printed into `path`, as console text:
// each indented by four spaces and ending in "\r\n". Empty when it printed
// nothing, or when the file cannot be read.
QString serverOutputTail(const QString& path, int count = 10);

} // namespace ostrel
