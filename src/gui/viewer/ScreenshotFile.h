// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QImage>
#include <QString>

namespace ostrel {

// The file name of a screenshot of the phone called `phoneName` taken at
// `takenAt`. The name comes from the phone, so whatever a file system would
// refuse or hide goes: separators, reserved characters, controls, leading
// dots; a name with nothing left is "Phone".
QString screenshotFileName(const QString& phoneName, const QDateTime& takenAt);

// The user's Pictures folder when there is one, else the home folder.
QString screenshotFolder(const QString& picturesFolder, const QString& homeFolder);

struct ScreenshotResult {
    QString path;  // where it went, or would have gone
    QString error; // empty when saved
};

// Saves `frame` as PNG in `folder` under `fileName`, never over an existing
// file: a taken name gets " (2)", " (3)"… before its extension.
ScreenshotResult saveScreenshot(const QImage& frame, const QString& folder,
                                const QString& fileName);

// The window's line on it, with the path made visible.
QString screenshotLine(const ScreenshotResult& result);

} // namespace ostrel
