// SPDX-License-Identifier: GPL-3.0-or-later
// The verbs as the manual page and README name them, held against the
// registry that drives the parser, --help and the launcher.
#include "cli/Invocation.h"
#include "cli/VerbRegistry.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

using namespace ostrel::cli;
using namespace Qt::Literals::StringLiterals;

namespace {

QString fileText(const char* path) {
    QFile file(QString::fromUtf8(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

// Each verb as its documentation spells it: `--forward PORT`, `--start`.
QStringList registeredVerbs() {
    QStringList verbs;
    for (const VerbSpelling& verb : VerbSpellings) {
        QString spelt =
            u"--"_s + QString::fromUtf8(verb.name.data(), static_cast<qsizetype>(verb.name.size()));
        if (verb.value == VerbValue::Port)
            spelt += u" PORT"_s;
        verbs << spelt;
    }
    return verbs;
}

// The lines of the manual page's section `name`, up to the next one.
QStringList manualSection(const QString& page, const QString& name) {
    const QStringList lines = page.split(u'\n');
    const qsizetype start = lines.indexOf(u".SH "_s + name);
    if (start < 0)
        return {};
    QStringList section;
    for (qsizetype at = start + 1; at < lines.size() && !lines[at].startsWith(u".SH "_s); ++at)
        section << lines[at];
    return section;
}

// troff's `\-` is a plain dash; quotes only group words.
QString plainTroff(QString line) {
    return line.replace(u"\\-"_s, u"-"_s).remove(u'"').simplified();
}

// The tag of each paragraph in VERBS: the line after each `.TP`.
QStringList manualPageVerbs(const QString& page) {
    const QStringList section = manualSection(page, u"VERBS"_s);
    static const QRegularExpression tag(uR"(^\.BI? (--[a-z]+)( PORT)?$)"_s);
    QStringList verbs;
    for (qsizetype at = 0; at + 1 < section.size(); ++at) {
        if (section[at] != u".TP"_s)
            continue;
        const QRegularExpressionMatch match = tag.match(plainTroff(section[at + 1]));
        verbs << (match.hasMatch() ? match.captured(1) + match.captured(2) : section[at + 1]);
    }
    return verbs;
}

// The verbs between the synopsis' braces; `[--port PORT]` there is an option.
QStringList synopsisVerbs(const QString& page) {
    const QString synopsis = plainTroff(manualSection(page, u"SYNOPSIS"_s).join(u' '));
    const qsizetype open = synopsis.indexOf(u'{');
    const qsizetype close = synopsis.indexOf(u'}', open);
    QString choice = synopsis.mid(open + 1, close - open - 1);
    choice.remove(QRegularExpression(uR"(\[[^\]]*\])"_s));
    choice.remove(QRegularExpression(uR"(\.[A-Z]+ )"_s));
    QStringList verbs;
    for (const QString& alternative : choice.split(u'|'))
        verbs << alternative.simplified();
    return verbs;
}

// The first cell of each row of README's table of verbs and options, as
// `--forward PORT`.
QStringList readmeTableRows(const QString& readme) {
    static const QRegularExpression row(uR"(^\| `(--?[a-z]+(?: [A-Z]+)?)`)"_s,
                                        QRegularExpression::MultilineOption);
    QStringList rows;
    for (const QRegularExpressionMatch& match : row.globalMatch(readme))
        rows << match.captured(1);
    return rows;
}

// The options --help lists that are no verb.
QStringList helpOptionsBesideVerbs() {
    const QString help = parseArguments({u"ostrel-dravik"_s, u"--help"_s}).text;
    static const QRegularExpression option(uR"(^  (?:-[a-z], )?(--[a-z]+))"_s,
                                           QRegularExpression::MultilineOption);
    QStringList options;
    for (const QRegularExpressionMatch& match : option.globalMatch(help))
        options << match.captured(1);
    for (const QString& verb : registeredVerbs())
        options.removeAll(verb.section(u' ', 0, 0));
    return options;
}

} // namespace

class VerbRegistryTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Each verb has its own paragraph in VERBS, in the order --help gives,
    // with the value it takes; none is described that the program lacks.
    void manualPageDescribesEachVerb() {
        const QString page = fileText(OSTREL_MANUAL_PAGE);
        QVERIFY2(!page.isEmpty(), OSTREL_MANUAL_PAGE);
        QCOMPARE(manualPageVerbs(page), registeredVerbs());
    }

    void manualPageSynopsisOffersEachVerb() {
        const QString page = fileText(OSTREL_MANUAL_PAGE);
        QVERIFY2(!page.isEmpty(), OSTREL_MANUAL_PAGE);
        QCOMPARE(synopsisVerbs(page), registeredVerbs());
    }

    // README's table holds a row for each verb, in the same order, and
    // otherwise only options the program takes.
    void readmeTableHoldsEachVerb() {
        const QString readme = fileText(OSTREL_README);
        QVERIFY2(!readme.isEmpty(), OSTREL_README);
        const QStringList options = helpOptionsBesideVerbs();
        QVERIFY(options.contains(u"--serial"_s));
        QStringList verbRows;
        for (const QString& row : readmeTableRows(readme)) {
            if (!options.contains(row.section(u' ', 0, 0)))
                verbRows << row;
        }
        QCOMPARE(verbRows, registeredVerbs());
    }
};

QTEST_GUILESS_MAIN(VerbRegistryTest)
#include "test_verb_registry.moc"
