#pragma once
// A private D-Bus bus with a fake UDisks2 on it (python-dbusmock and our template,
// fake_udisks2.py), standing in for the system bus of this test process and the programs it
// starts: DBUS_SYSTEM_BUS_ADDRESS points at it from Start on. Start it before anything in the
// process touches the system bus.
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDeadlineTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

namespace tarvik::test {

class FakeUDisks {
 public:
  ~FakeUDisks() { Stop(); }

  // Empty on success, otherwise what is missing.
  QString Start() {
    daemon_.setProgram(QStringLiteral("dbus-daemon"));
    daemon_.setArguments({QStringLiteral("--session"), QStringLiteral("--nofork"),
                          QStringLiteral("--print-address=1"),
                          QStringLiteral("--address=unix:path=") + dir_.filePath("bus")});
    daemon_.start();
    if (!daemon_.waitForStarted(10000) || !daemon_.waitForReadyRead(10000))
      return QStringLiteral("dbus-daemon did not start (package dbus)");
    const QByteArray address = daemon_.readLine().trimmed();
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", address);
    mock_.setProgram(QStringLiteral(TARVIK_PYTHON3));
    mock_.setArguments({QStringLiteral("-m"), QStringLiteral("dbusmock"),
                        QStringLiteral("--template"), QStringLiteral(TARVIK_FAKE_UDISKS)});
    mock_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    mock_.setStandardOutputFile(QProcess::nullDevice());
    mock_.start();
    if (!mock_.waitForStarted(10000)) return QStringLiteral("python3 did not start");
    QDBusConnection bus = QDBusConnection::systemBus();
    const QDeadlineTimer deadline(20000);
    while (!bus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.UDisks2"))) {
      if (mock_.state() != QProcess::Running || deadline.hasExpired())
        return QStringLiteral("the fake UDisks2 did not start (package python3-dbusmock)");
      QThread::msleep(20);
    }
    return {};
  }

  // UDisks2 goes away (the bus stays).
  void StopService() {
    mock_.terminate();
    mock_.waitForFinished(5000);
  }
  void Stop() {
    StopService();
    daemon_.terminate();
    daemon_.waitForFinished(5000);
  }

  QString AddDrive(const QString& name, const QVariantMap& properties) {
    QDBusReply<QDBusObjectPath> r = Call(QStringLiteral("AddDrive"), {name, properties});
    return r.value().path();
  }
  QString AddFilesystem(const QString& name, const QString& drive, const QString& mountPoint,
                        const QString& label, const QVariantMap& properties = {}) {
    QDBusReply<QDBusObjectPath> r =
        Call(QStringLiteral("AddFilesystem"),
             {name, QVariant::fromValue(QDBusObjectPath(drive)), mountPoint, label, properties});
    return r.value().path();
  }
  void SetBusy(bool busy) { Call(QStringLiteral("SetBusy"), {busy}); }
  QStringList Calls() {
    QDBusReply<QStringList> r = Call(QStringLiteral("Calls"));
    return r.value();
  }
  void Clear() { Call(QStringLiteral("Clear")); }

 private:
  // A plain method call: a QDBusInterface would introspect the mock and leave the meta object
  // it builds cached on the bus connection past the end of the test.
  static QDBusMessage Call(const QString& method, const QVariantList& arguments = {}) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.UDisks2"), QStringLiteral("/org/freedesktop/UDisks2"),
        QStringLiteral("org.freedesktop.DBus.Mock"), method);
    call.setArguments(arguments);
    return QDBusConnection::systemBus().call(call);
  }

  QTemporaryDir dir_;
  QProcess daemon_;
  QProcess mock_;
};

}  // namespace tarvik::test
