#include "udisks/udisks_client.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QMap>
#include <QVariantMap>

#include "core/platform_files.h"
#include "core/text.h"
#include "resources/string_ids.h"

namespace tarvik {
namespace {

const QString kService = QStringLiteral("org.freedesktop.UDisks2");
const QString kRoot = QStringLiteral("/org/freedesktop/UDisks2");
const QString kObjectManager = QStringLiteral("org.freedesktop.DBus.ObjectManager");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kBlock = QStringLiteral("org.freedesktop.UDisks2.Block");
const QString kFilesystem = QStringLiteral("org.freedesktop.UDisks2.Filesystem");
const QString kDrive = QStringLiteral("org.freedesktop.UDisks2.Drive");
const QString kBusy = QStringLiteral("org.freedesktop.UDisks2.Error.DeviceBusy");

constexpr int kReadTimeoutMs = 5000;
// Unmounting waits for what is still to be written.
constexpr int kEjectTimeoutMs = 120000;

using Interfaces = QMap<QString, QVariantMap>;
using Objects = QMap<QString, Interfaces>;

// GetManagedObjects' a{oa{sa{sv}}}.
Objects ReadObjects(const QDBusArgument& arg) {
  Objects objects;
  arg.beginMap();
  while (!arg.atEnd()) {
    QDBusObjectPath path;
    Interfaces interfaces;
    arg.beginMapEntry();
    arg >> path;
    arg.beginMap();
    while (!arg.atEnd()) {
      QString name;
      QVariantMap properties;
      arg.beginMapEntry();
      arg >> name >> properties;
      arg.endMapEntry();
      interfaces.insert(name, properties);
    }
    arg.endMap();
    arg.endMapEntry();
    objects.insert(path.path(), interfaces);
  }
  arg.endMap();
  return objects;
}

// MountPoints: aay, each a path ending in NUL.
std::vector<std::string> MountPoints(const QVariant& value) {
  std::vector<std::string> out;
  auto add = [&](QByteArray bytes) {
    while (!bytes.isEmpty() && bytes.back() == '\0') bytes.chop(1);
    if (!bytes.isEmpty())
      out.emplace_back(bytes.constData(), static_cast<std::size_t>(bytes.size()));
  };
  if (value.canConvert<QDBusArgument>()) {
    const QDBusArgument arg = value.value<QDBusArgument>();
    arg.beginArray();
    while (!arg.atEnd()) {
      QByteArray bytes;
      arg >> bytes;
      add(bytes);
    }
    arg.endArray();
  } else {
    for (const QByteArray& bytes : value.value<QList<QByteArray>>()) add(bytes);
  }
  return out;
}

QString ObjectPath(const QVariant& value) {
  return value.canConvert<QDBusObjectPath>() ? value.value<QDBusObjectPath>().path()
                                             : value.toString();
}

bool IsRemovableDrive(const QVariantMap& drive) {
  const QString bus = drive.value(QStringLiteral("ConnectionBus")).toString();
  return drive.value(QStringLiteral("Removable")).toBool() ||
         drive.value(QStringLiteral("MediaRemovable")).toBool() || bus == QStringLiteral("usb") ||
         bus == QStringLiteral("sdio");
}

std::u16string Text(const QString& s) {
  return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()),
                        static_cast<std::size_t>(s.size()));
}

// Calls `method` of `interface` on object `path` with an empty options dictionary.
QDBusMessage CallWithOptions(const QString& path, const QString& interface, const QString& method) {
  QDBusMessage call = QDBusMessage::createMethodCall(kService, path, interface, method);
  call << QVariantMap();
  return QDBusConnection::systemBus().call(call, QDBus::Block, kEjectTimeoutMs);
}

bool GetObjects(Objects& objects, std::uint32_t& reason) {
  QDBusConnection bus = QDBusConnection::systemBus();
  if (!bus.isConnected()) {
    reason = STR_UDISKS_NO_BUS;
    return false;
  }
  const QDBusMessage call = QDBusMessage::createMethodCall(kService, kRoot, kObjectManager,
                                                           QStringLiteral("GetManagedObjects"));
  const QDBusMessage reply = bus.call(call, QDBus::Block, kReadTimeoutMs);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty() ||
      !reply.arguments().front().canConvert<QDBusArgument>()) {
    reason = STR_UDISKS_NO_SERVICE;
    return false;
  }
  objects = ReadObjects(reply.arguments().front().value<QDBusArgument>());
  return true;
}

}  // namespace

UDisksClient::UDisksClient(QObject* parent) : QObject(parent) {
  settle_.setSingleShot(true);
  settle_.setInterval(50);
  connect(&settle_, &QTimer::timeout, this, &UDisksClient::changed);
}

bool UDisksClient::Read(std::vector<platform::MountedDrive>& out, std::uint32_t& reason) {
  out.clear();
  Objects objects;
  if (!GetObjects(objects, reason)) return false;
  for (auto it = objects.cbegin(); it != objects.cend(); ++it) {
    const Interfaces& interfaces = it.value();
    if (!interfaces.contains(kBlock) || !interfaces.contains(kFilesystem)) continue;
    const QVariantMap& block = interfaces[kBlock];
    if (block.value(QStringLiteral("HintIgnore")).toBool() ||
        block.value(QStringLiteral("HintSystem")).toBool())
      continue;
    const QString drivePath = ObjectPath(block.value(QStringLiteral("Drive")));
    const auto drive = objects.constFind(drivePath);
    if (drive == objects.cend() || !drive->contains(kDrive) || !IsRemovableDrive((*drive)[kDrive]))
      continue;
    for (const std::string& mountPoint :
         MountPoints(interfaces[kFilesystem].value(QStringLiteral("MountPoints")))) {
      platform::MountedDrive d;
      d.mountPoint = platform::PathFromNative(mountPoint);
      d.label = Text(block.value(QStringLiteral("IdLabel")).toString());
      d.fsType = Text(block.value(QStringLiteral("IdType")).toString());
      QByteArray device = block.value(QStringLiteral("PreferredDevice")).toByteArray();
      if (device.isEmpty()) device = block.value(QStringLiteral("Device")).toByteArray();
      while (!device.isEmpty() && device.back() == '\0') device.chop(1);
      d.device = platform::PathFromNative(device.toStdString());
      d.driveId = Text(drivePath);
      d.freeBytes = platform::FreeBytes(mountPoint);
      out.push_back(std::move(d));
    }
  }
  return true;
}

bool UDisksClient::Watch() {
  QDBusConnection bus = QDBusConnection::systemBus();
  if (!bus.isConnected()) return false;
  bool ok = true;
  for (const char* name : {"InterfacesAdded", "InterfacesRemoved"})
    ok &= bus.connect(kService, kRoot, kObjectManager, QString::fromLatin1(name), this,
                      SLOT(OnSignal(QDBusMessage)));
  // Mounting and unmounting change MountPoints of objects that stay; any object's path.
  ok &= bus.connect(kService, QString(), kProperties, QStringLiteral("PropertiesChanged"), this,
                    SLOT(OnSignal(QDBusMessage)));
  return ok;
}

void UDisksClient::OnSignal(const QDBusMessage&) {
  settle_.start();
}

UDisksClient::EjectResult UDisksClient::Eject(const std::u16string& driveId,
                                              std::u16string& error) {
  error.clear();
  Objects objects;
  std::uint32_t reason = 0;
  if (!GetObjects(objects, reason)) {
    error = StrLoad(reason);
    return EjectResult::Failed;
  }
  const QString drivePath = QString::fromStdU16String(driveId);
  const auto drive = objects.constFind(drivePath);
  if (drive == objects.cend() || !drive->contains(kDrive)) {
    error = StrLoad(STR_UDISKS_NO_SERVICE);
    return EjectResult::Failed;
  }
  auto failed = [&](const QDBusMessage& reply) {
    if (reply.errorName() == kBusy) return EjectResult::Busy;
    error = Text(reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage());
    return EjectResult::Failed;
  };
  for (auto it = objects.cbegin(); it != objects.cend(); ++it) {
    const Interfaces& interfaces = it.value();
    if (!interfaces.contains(kBlock) || !interfaces.contains(kFilesystem)) continue;
    if (ObjectPath(interfaces[kBlock].value(QStringLiteral("Drive"))) != drivePath) continue;
    if (MountPoints(interfaces[kFilesystem].value(QStringLiteral("MountPoints"))).empty()) continue;
    const QDBusMessage reply = CallWithOptions(it.key(), kFilesystem, QStringLiteral("Unmount"));
    if (reply.type() == QDBusMessage::ErrorMessage) return failed(reply);
  }
  const QVariantMap& properties = (*drive)[kDrive];
  QString method;
  if (properties.value(QStringLiteral("CanPowerOff")).toBool())
    method = QStringLiteral("PowerOff");
  else if (properties.value(QStringLiteral("Ejectable")).toBool())
    method = QStringLiteral("Eject");
  if (!method.isEmpty()) {
    const QDBusMessage reply = CallWithOptions(drivePath, kDrive, method);
    if (reply.type() == QDBusMessage::ErrorMessage) return failed(reply);
  }
  return EjectResult::Ejected;
}

}  // namespace tarvik
