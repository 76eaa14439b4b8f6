#pragma once
// UDisks2 on the system D-Bus, through Qt D-Bus: the removable drives mounted now, word when
// they change, and removing a drive safely. QtCore and QtDBus only, so that both the windows
// and tarvik-cli use it.
#include <QDBusMessage>
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <string>
#include <vector>

#include "core/platform_drives.h"

namespace tarvik {

class UDisksClient : public QObject {
  Q_OBJECT

 public:
  explicit UDisksClient(QObject* parent = nullptr);

  // The filesystems UDisks2 shows mounted whose drive is Removable, MediaRemovable or on a
  // usb or sdio bus, not hinted ignore or system, one per mount point, with their drive's
  // object as driveId. False when there is no system bus or UDisks2 does not answer;
  // `reason` then names a string (STR_UDISKS_NO_BUS or STR_UDISKS_NO_SERVICE).
  bool Read(std::vector<platform::MountedDrive>& out, std::uint32_t& reason);

  // From now on `changed` follows objects and mount points coming and going (a burst of
  // them gives one). False without a system bus.
  bool Watch();

  enum class EjectResult { Ejected, Busy, Failed };
  // Unmounts every filesystem of drive `driveId`, then powers the drive off, or ejects its
  // medium where it cannot be powered off. Busy when a filesystem is in use (it stays
  // mounted); Failed with UDisks2's message in `error` otherwise.
  EjectResult Eject(const std::u16string& driveId, std::u16string& error);

 signals:
  void changed();

 private slots:
  void OnSignal(const QDBusMessage& message);

 private:
  QTimer settle_;
};

}  // namespace tarvik
