#include "core/device/FileListing.h"

#include "core/bridge/CommandOutput.h"
#include "core/device/AdbFailure.h"

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

// ls says why it could not list a path as "ls: PATH: REASON", on standard error,
// or mixed into standard output on phones without shell_v2.
QString listingRefusal(const AdbRun& run) {
    const QByteArray missing = "No such file or directory";
    if (run.exitCode != 0 && !run.standardError.contains(missing)) {
        const QString text = standardErrorForConsole(run);
        return text.isEmpty() ? u"ls failed with exit status %1.\r\n"_s.arg(run.exitCode) : text;
    }
    QString refusal;
    const QList<QByteArray> lines = run.standardOutput.split('\n');
    for (const QByteArray& line : lines) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.startsWith("ls:") && !trimmed.contains(missing))
            refusal += QString::fromUtf8(trimmed) + u"\r\n"_s;
    }
    return refusal;
}

ServerFileListing readServerFileListing(const AdbRun& run, const QString& path) {
    ServerFileListing listing;
    listing.refusal = listingRefusal(run);
    if (!listing.refusal.isEmpty()) {
        listing.kind = ServerFileListing::Kind::Refused;
        return listing;
    }
    const BridgeState state = classifyCommandOutput(Mode::ServerFile, run.standardOutput, path);
    listing.kind =
        state.serverFileFound ? ServerFileListing::Kind::Found : ServerFileListing::Kind::Missing;
    listing.size = state.serverFileFound ? state.serverFileSize : 0;
    return listing;
}

} // namespace ostrel
