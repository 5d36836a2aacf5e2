// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace ostrel::test {

// Sets the variables adb is looked up through for one test, and puts them back.
class AdbLookupEnvironment {
public:
    explicit AdbLookupEnvironment(const QString& path) {
        for (const char* name : Names)
            saved_.append(qgetenv(name));
        qunsetenv("ANDROID_HOME");
        qunsetenv("ANDROID_SDK_ROOT");
        qputenv("PATH", path.toLocal8Bit());
    }
    ~AdbLookupEnvironment() {
        for (int i = 0; i < 3; ++i) {
            if (saved_[i].isNull())
                qunsetenv(Names[i]);
            else
                qputenv(Names[i], saved_[i]);
        }
    }
    AdbLookupEnvironment(const AdbLookupEnvironment&) = delete;
    AdbLookupEnvironment& operator=(const AdbLookupEnvironment&) = delete;

private:
    static constexpr const char* Names[3] = {"PATH", "ANDROID_HOME", "ANDROID_SDK_ROOT"};
    QList<QByteArray> saved_;
};

} // namespace ostrel::test
