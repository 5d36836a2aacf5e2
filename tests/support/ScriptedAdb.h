#pragma once

#include "app/Waits.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

namespace ostrel::test {

// A stand-in adb that plays a phone with the app from a scenario (see
// scripted_adb.py for its keys): devices, installed package, executable size,
// a server that starts, stops or refuses to, a device that goes away, refused
// forwards. Every run's argument vector is logged, in order.
class ScriptedAdb {
public:
    explicit ScriptedAdb(const QString& directory, const QJsonObject& scenario = {});

    QString path() const { return path_; }
    void setScenario(const QJsonObject& scenario);
    // Every run so far, each as its exact argument list.
    QList<QStringList> invocations() const;

private:
    QString directory_;
    QString path_;
};

class ControllerFixture;

// Makes `program` a new controller with an empty console whose adb is `adb`, a
// scripted phone playing `scenario`.
void attachScriptedPhone(std::unique_ptr<ControllerFixture>& program,
                         std::unique_ptr<ScriptedAdb>& adb, const QJsonObject& scenario,
                         Waits waits);

} // namespace ostrel::test
