// SPDX-License-Identifier: GPL-3.0-or-later
// The port a person types or pastes into USB Connect or after --forward: read
// as UTF-8, and as raw UTF-16 so that lone surrogates and every control come
// through too.
#include "FuzzTarget.h"

#include "core/device/PortText.h"

#include <QString>

#include <cstring>

namespace {

using namespace Qt::Literals::StringLiterals;

void checkEntry(const QString& text) {
    const ostrel::PortEntry entry = ostrel::readPortEntry(text);
    switch (entry.kind) {
    case ostrel::PortEntry::Kind::Blank:
        OSTREL_FUZZ_CHECK(text.trimmed().isEmpty());
        break;
    case ostrel::PortEntry::Kind::Port:
        OSTREL_FUZZ_CHECK(entry.port && entry.port->number() >= ostrel::TcpPort::Lowest &&
                          entry.port->number() <= ostrel::TcpPort::Highest);
        // The number read is the one written, not some other port.
        OSTREL_FUZZ_CHECK(text.contains(QString::number(entry.port->number())));
        break;
    case ostrel::PortEntry::Kind::NotAPort:
        OSTREL_FUZZ_CHECK(!text.trimmed().isEmpty());
        break;
    }

    // The refusal is one console line whatever was typed: no control
    // characters or line breaks of the entry's own, and a bounded length.
    const QString line = ostrel::notAPortLine(text);
    OSTREL_FUZZ_CHECK(line.endsWith(u"\r\n"_s));
    OSTREL_FUZZ_CHECK(line.size() <= 200);
    for (qsizetype i = 0; i + 2 < line.size(); ++i) {
        const QChar c = line.at(i);
        OSTREL_FUZZ_CHECK(c.category() != QChar::Other_Control &&
                          c.category() != QChar::Separator_Line &&
                          c.category() != QChar::Separator_Paragraph);
    }
}

} // namespace

OSTREL_FUZZ_TARGET(port_text) {
    checkEntry(
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    QString units(static_cast<qsizetype>(size / 2), Qt::Uninitialized);
    std::memcpy(units.data(), data, size / 2 * 2);
    checkEntry(units);
    return 0;
}
