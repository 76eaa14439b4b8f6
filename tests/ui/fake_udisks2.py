'''A small UDisks2 for Tarvik's tests (a python-dbusmock template).

The test adds drives and mounted filesystems through the mock interface; the objects carry the
properties the program reads (Block, Filesystem, Drive) and the methods it calls (Unmount,
PowerOff, Eject), which are recorded in the order they arrive. Unmount answers DeviceBusy
while SetBusy(true) holds.
'''

import dbus

from dbusmock import MOCK_IFACE
from dbusmock import mockobject

BUS_NAME = 'org.freedesktop.UDisks2'
MAIN_OBJ = '/org/freedesktop/UDisks2'
MAIN_IFACE = 'org.freedesktop.UDisks2.Manager'
SYSTEM_BUS = True
IS_OBJECT_MANAGER = True

DRIVE = 'org.freedesktop.UDisks2.Drive'
BLOCK = 'org.freedesktop.UDisks2.Block'
FILESYSTEM = 'org.freedesktop.UDisks2.Filesystem'


def load(mock, _parameters):
    mock.calls = []
    mock.busy = False
    mock.AddProperties(MAIN_IFACE, {'Version': dbus.String('2.9.4')})


def _main():
    return mockobject.objects[MAIN_OBJ]


def _bytes(text):
    '''A path as UDisks2 sends it: bytes ending in NUL.'''
    return dbus.Array([dbus.Byte(b) for b in text.encode() + b'\0'], signature='y')


def _power_off(obj, _options):
    _main().calls.append('PowerOff ' + obj.path)


def _eject(obj, _options):
    _main().calls.append('Eject ' + obj.path)


def _unmount(obj, _options):
    main = _main()
    if main.busy:
        raise dbus.exceptions.DBusException('Target is busy',
                                            name='org.freedesktop.UDisks2.Error.DeviceBusy')
    main.calls.append('Unmount ' + obj.path)
    obj.UpdateProperties(FILESYSTEM, {'MountPoints': dbus.Array([], signature='ay')})


@dbus.service.method(MOCK_IFACE, in_signature='sa{sv}', out_signature='o')
def AddDrive(self, name, properties):
    '''A drive; properties override Removable, MediaRemovable, ConnectionBus, CanPowerOff and
    Ejectable (all false or empty).'''
    path = MAIN_OBJ + '/drives/' + name
    props = {
        'Removable': dbus.Boolean(False),
        'MediaRemovable': dbus.Boolean(False),
        'ConnectionBus': dbus.String(''),
        'CanPowerOff': dbus.Boolean(False),
        'Ejectable': dbus.Boolean(False),
        'Model': dbus.String(name),
    }
    props.update(properties)
    self.AddObject(path, DRIVE, props, [])
    obj = mockobject.objects[path]
    obj.AddMethod(DRIVE, 'PowerOff', 'a{sv}', '', _power_off)
    obj.AddMethod(DRIVE, 'Eject', 'a{sv}', '', _eject)
    self.object_manager_emit_added(path)
    return path


@dbus.service.method(MOCK_IFACE, in_signature='sossa{sv}', out_signature='o')
def AddFilesystem(self, name, drive, mount_point, label, properties):
    '''A block device of `drive` with a filesystem mounted at `mount_point` (none when empty);
    properties override IdType (vfat), HintIgnore and HintSystem (false).'''
    path = MAIN_OBJ + '/block_devices/' + name
    block = {
        'Device': _bytes('/dev/' + name),
        'PreferredDevice': _bytes('/dev/' + name),
        'Drive': dbus.ObjectPath(drive),
        'IdLabel': dbus.String(label),
        'IdType': dbus.String('vfat'),
        'IdUsage': dbus.String('filesystem'),
        'HintIgnore': dbus.Boolean(False),
        'HintSystem': dbus.Boolean(False),
    }
    block.update(properties)
    self.AddObject(path, BLOCK, block, [])
    obj = mockobject.objects[path]
    mounts = [_bytes(mount_point)] if mount_point else []
    obj.AddProperties(FILESYSTEM, {'MountPoints': dbus.Array(mounts, signature='ay')})
    obj.AddMethod(FILESYSTEM, 'Unmount', 'a{sv}', '', _unmount)
    self.object_manager_emit_added(path)
    return path


@dbus.service.method(MOCK_IFACE, in_signature='b', out_signature='')
def SetBusy(self, busy):
    self.busy = bool(busy)


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='as')
def Calls(self):
    '''The Unmount, PowerOff and Eject calls so far, "Method /object/path" each.'''
    return dbus.Array(self.calls, signature='s')


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='')
def Clear(self):
    '''Every drive and filesystem gone (InterfacesRemoved for each), no calls, not busy.'''
    for path in [p for p in mockobject.objects if p.startswith(MAIN_OBJ + '/')]:
        self.object_manager_emit_removed(path)
        self.RemoveObject(path)
    self.calls = []
    self.busy = False
