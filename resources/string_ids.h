#pragma once
// The ids of the string table (string_table.cpp), by what each text is for; STRINGS.md says
// where each one is shown. Code names a text only through these.
#include <cstdint>

namespace tarvik {

enum StringId : std::uint32_t {
  STR_TITLE = 103,  // main window title: version, edition

  // Menu 109.
  STR_MENU_FILE = 501,
  STR_MENU_HELP = 502,
  STR_MENU_OPTIONS = 503,
  STR_MENU_FILTER = 504,
  STR_MENU_SCHEMA = 505,
  STR_MENU_EXPORT = 506,
  STR_MENU_OPEN = 510,
  STR_MENU_EXIT = 511,
  STR_MENU_SAVE_AS = 512,
  STR_MENU_DRIVE = 513,
  STR_MENU_ABOUT = 520,

  // Buttons, check boxes and labels of the dialogs.
  STR_CANCEL = 550,
  STR_OK = 551,
  STR_SAVE = 552,
  STR_NEW_ITEM = 555,
  STR_ENABLED = 556,
  STR_DEFAULT = 557,
  STR_LOCKED = 558,
  STR_CODEPAGE_ANSI = 560,
  STR_CODEPAGE_UTF8 = 561,
  STR_SCHEMA_TITLE = 565,
  STR_SCHEMA_HINT = 566,
  STR_FILTER_TITLE = 570,
  STR_LATITUDE = 571,
  STR_LONGITUDE = 572,
  STR_NORTH = 573,
  STR_EAST = 574,
  STR_SOUTH = 575,
  STR_WEST = 576,
  STR_COLUMN_MARK = 580,
  STR_COLUMN_NAME = 581,
  STR_COLUMN_DESC = 582,
  STR_COLUMN_TYPE = 583,
  STR_COLUMN_COUNT = 587,
  STR_SCHEMA_LABEL = 588,

  // Progress status texts of the task stages.
  STR_STATUS_DONE = 590,
  STR_STATUS_OPENING = 591,
  STR_STATUS_LOADING_FILE = 592,
  STR_STATUS_PARSING = 593,
  STR_STATUS_LOADING_PARAMS = 594,
  STR_STATUS_SAVING_PARAMS = 595,
  STR_STATUS_FILTERING = 596,
  STR_STATUS_EXPORTING = 597,

  // Main window: status bar, label, questions and warnings.
  STR_POI_NO_STORE = 598,
  STR_OVERWRITE = 600,   // path
  STR_MATCH = 604,       // percent
  STR_POI_LOADED = 605,  // record count, path
  STR_POI_NOT_LOADED = 606,
  STR_POI_BUSY = 607,
  STR_DRIVE_UNAVAILABLE = 609,

  // Export parameters, export drive and about box.
  STR_EXPORT_TITLE = 620,
  STR_EXPORT_FILE = 621,
  STR_EXPORT_CODEPAGE = 622,
  STR_EXPORT_SIZE_LIMIT = 623,
  STR_EXPORT_FORMAT = 624,
  STR_EXPORT_FOLDER = 625,
  STR_EXPORT_STRING_LIMIT = 626,
  STR_EXPORT_TRANSLIT = 627,
  STR_DRIVE_TITLE = 650,
  STR_ABOUT_TITLE = 680,
  STR_ABOUT_HEADLINE = 681,
  STR_ABOUT_TEXT = 682,  // version, edition

  // Loading and parsing a source file.
  STR_CLI_PARSE_SUMMARY = 700,  // records, layout, path
  STR_LAYOUT_COMMA = 701,
  STR_LAYOUT_BAR = 702,
  STR_LAYOUT_NONE = 703,
  STR_CLI_NO_HEADER = 704,       // path
  STR_FAIL_OPEN = 705,           // path, reason
  STR_FAIL_READ = 706,           // path, reason
  STR_FAIL_TOO_LARGE = 707,      // path, size
  STR_FAIL_HEADER = 708,         // line, path, columns found
  STR_FAIL_FILE_MEMORY = 709,    // path
  STR_FAIL_RECORD_MEMORY = 710,  // path

  // Command line: outcomes and help.
  STR_CLI_CANCELLED = 711,
  STR_CLI_WRITE_FAILED = 712,  // reason
  STR_CLI_PROGRAM = 713,
  STR_CLI_PARSE_HELP = 714,
  STR_CLI_QUIET = 715,
  STR_CLI_TABLE_FILE = 716,
  STR_CLI_VERSION = 717,
  STR_CLI_HELP = 718,

  // Parameter sets in the settings file.
  STR_FAIL_PARAMS_SAVE = 750,  // path, reason
  STR_FAIL_PARAMS_LOAD = 751,  // path, reason
  STR_FAIL_NO_SETTINGS_PATH = 752,
  STR_FAIL_PARAMS_STALE = 753,  // path
  STR_DEFAULTS_UNSAVED = 754,   // path, reason
  STR_CLI_NO_INI_FOLDER = 755,  // folder

  // The sets of a first start.
  STR_DEFAULT_FILTER = 760,
  STR_DEFAULT_SCHEMA = 761,
  STR_DEFAULT_PROFILE = 762,
  STR_DEFAULT_TYPE_FIRST = 763,  // types 1 to 7 in a row, up to 769
  STR_DEFAULT_PROFILE_DESC = 770,
  STR_DEFAULT_HAZARD_FIRST = 771,  // types 100 to 106 in a row, up to 777

  // Command line: `params`.
  STR_CLI_PARAMS_HELP = 780,
  STR_CLI_INI = 781,
  STR_CLI_PARAMS_FILE = 782,  // path
  STR_CLI_PARAMS_NO_FILE = 783,
  STR_CLI_FILTERS = 784,         // count
  STR_CLI_FILTER_LINE = 785,     // name, AX, AY, CX, CY, flags
  STR_CLI_SCHEMAS = 786,         // count
  STR_CLI_ITEM_LINE = 787,       // name, flags
  STR_CLI_ENTRY_LINE = 788,      // type, description
  STR_CLI_PROFILES = 789,        // count
  STR_CLI_PROFILE_FILES = 790,   // file, format, folder
  STR_CLI_PROFILE_LIMITS = 791,  // code page name and number, limits, transliteration, desc
  STR_DISABLED = 792,
  STR_YES = 793,
  STR_NO = 794,

  // Export.
  STR_FAIL_EXPORT_CREATE = 800,  // path, reason
  STR_FAIL_EXPORT_WRITE = 801,   // path, reason
  STR_FAIL_EXPORT_MEMORY = 802,  // path

  // Command line: `count` and `export`.
  STR_CLI_RECORDS = 803,    // records
  STR_CLI_UNMATCHED = 804,  // records no entry describes
  STR_CLI_COUNT_HELP = 805,
  STR_CLI_EXPORT_HELP = 806,
  STR_CLI_SCHEMA = 808,
  STR_CLI_OUT = 809,
  STR_CLI_PROFILE = 810,
  STR_CLI_AREAS = 811,
  STR_CLI_TYPES = 812,
  STR_CLI_FORCE = 813,
  STR_CLI_NO_SCHEMA = 815,   // name, available names
  STR_CLI_NO_PROFILE = 816,  // name, available names
  STR_CLI_NO_AREA = 817,     // name, available names
  STR_CLI_NO_TYPE = 818,     // code, available codes
  STR_CLI_EXISTS = 819,      // path
  STR_CLI_NO_ENABLED_PROFILE = 820,
  STR_CLI_NO_TYPE_ROWS = 821,
  STR_CLI_NO_AREA_ROWS = 822,
  STR_CLI_EXPORT_SUMMARY = 823,  // written, left out, bytes, path
  STR_CLI_TRUNCATED = 824,       // the profile's limit in KiB
  STR_CLI_NONE_AVAILABLE = 825,

  // Export failures beyond the file's own, and memory running out anywhere.
  STR_FAIL_EXPORT_APPEARED = 830,  // path
  STR_FAIL_EXPORT_NOTHING = 831,
  STR_NO_MEMORY = 832,

  // Main window: file types of Open, memory figures, the size-limit warning.
  STR_OPEN_TYPES = 900,
  STR_OPEN_ALL = 901,
  STR_MEMORY_BYTES = 902,  // bytes
  STR_MEMORY_KB = 903,     // KiB
  STR_MEMORY_MB = 904,     // MiB
  STR_SIZE_LIMIT = 905,    // written, left out

  // Editors.
  STR_NOT_A_NUMBER = 920,  // field label, corner (STR_CORNER_NW or _SE)

  // Main window: what it tells beyond the failures of tasks.
  STR_SAVE_TICK_AREA = 940,
  STR_SAVE_TICK_TYPE = 941,
  STR_OPEN_NO_TABLE = 942,  // path
  STR_EXPORT_DONE = 943,    // POIs written, path

  // The map.
  STR_MENU_MAP = 1000,
  STR_MAP_TITLE = 1001,
  STR_MAP_SHOW_ALL = 1002,
  STR_MAP_NEW_AREA = 1003,
  STR_MAP_IN_VIEW = 1004,  // POIs in view
  STR_MAP_DENSITY = 1005,
  STR_MAP_OTHER_TYPES = 1006,
  STR_MAP_KM = 1007,          // km
  STR_MAP_M = 1008,           // metres
  STR_MAP_DEGREES = 1009,     // decimals, degrees
  STR_MAP_NAME_COUNT = 1010,  // name, count
  STR_MAP_AREA_OFF = 1011,    // name
  STR_MAP_NAME_PROMPT = 1012,
  STR_MAP_HINT = 1013,
  STR_CLI_MAP_HELP = 1015,
  STR_CLI_MAP_OUT = 1016,
  STR_CLI_MAP_WIDTH = 1017,
  STR_CLI_MAP_HEIGHT = 1018,
  STR_CLI_MAP_BBOX = 1019,
  STR_CLI_MAP_BAD_BBOX = 1020,      // the option's text
  STR_CLI_MAP_NOT_PNG = 1021,       // path
  STR_CLI_MAP_WRITE_FAILED = 1022,  // path, reason
  STR_CLI_MAP_NO_FONT = 1023,
  STR_CLI_MAP_SUMMARY = 1024,   // path, width, height, POIs in view
  STR_CLI_MAP_BAD_SIZE = 1026,  // option, value, least, most

  // The command line's help frame and usage errors.
  STR_CLI_LABEL_USAGE = 1100,
  STR_CLI_LABEL_OPTIONS = 1101,
  STR_CLI_LABEL_COMMAND = 1102,
  STR_CLI_LABEL_COMMANDS = 1103,
  STR_CLI_LABEL_REQUIRED = 1104,
  STR_CLI_GROUP_ARGUMENTS = 1105,
  STR_CLI_GROUP_OPTIONS = 1106,
  STR_CLI_GROUP_COMMANDS = 1107,
  STR_CLI_TYPE_TEXT = 1108,
  STR_CLI_TYPE_NUMBER = 1109,
  STR_CLI_TYPE_FILE = 1110,
  STR_CLI_TYPE_NAME = 1111,
  STR_CLI_TYPE_CODE = 1112,
  STR_CLI_TYPE_BOX = 1113,
  STR_CLI_ARG_FILE = 1114,
  STR_CLI_ERR_UNEXPECTED = 1120,       // the argument
  STR_CLI_ERR_UNEXPECTED_MANY = 1121,  // the arguments
  STR_CLI_ERR_UNKNOWN_COMMAND = 1122,  // the word, the commands
  STR_CLI_ERR_NO_COMMAND = 1123,       // the commands
  STR_CLI_ERR_REQUIRED = 1124,         // option or argument
  STR_CLI_ERR_NO_VALUE = 1125,         // option
  STR_CLI_ERR_TOO_OFTEN = 1126,        // option
  STR_CLI_ERR_NOT_NUMBER = 1127,       // option, value
  STR_CLI_ERR_BAD_VALUE = 1128,        // option, value
  STR_CLI_ERR_INVALID = 1129,          // option
  STR_CLI_ERR_COMMAND_LINE = 1130,
  STR_CLI_SEE_HELP = 1131,  // the program and command
  STR_CORNER_NW = 1200,
  STR_CORNER_SE = 1201,
  STR_WHOLE_NUMBER = 1202,  // field label, lowest, highest
  STR_ERRNO_ENOENT = 1250,
  STR_ERRNO_EACCES = 1251,
  STR_ERRNO_EPERM = 1252,
  STR_ERRNO_EROFS = 1253,
  STR_ERRNO_ENOSPC = 1254,
  STR_ERRNO_EDQUOT = 1255,
  STR_ERRNO_EISDIR = 1256,
  STR_ERRNO_ENOTDIR = 1257,
  STR_ERRNO_EEXIST = 1258,
  STR_ERRNO_ENAMETOOLONG = 1259,
  STR_ERRNO_EMFILE = 1260,
  STR_ERRNO_EIO = 1261,
  STR_ERRNO_ELOOP = 1262,
  STR_ERRNO_EFBIG = 1263,
  STR_ERRNO_ETXTBSY = 1264,
  STR_CLI_ERR_UNKNOWN_OPTION = 1265,  // the option
  STR_CLI_ERR_EMPTY_NAME = 1266,
  STR_CLI_ERR_FOLDER_NAME = 1267,  // the name
  STR_CLI_MAP_APPEARED = 1268,     // path
  STR_FAIL_NOT_A_FILE = 1269,      // path
  STR_FAIL_SHRUNK = 1270,          // path, size at opening, bytes read
  STR_NO_TABLE_COLUMNS = 1271,     // path, line
  STR_FAIL_HEADER_COLUMNS = 1272,  // line, path, columns found
  STR_DEFAULTS_RACED = 1273,       // path
  STR_A11Y_ADD = 1400,
  STR_A11Y_DELETE = 1401,
  STR_A11Y_ADD_ENTRY = 1402,
  STR_A11Y_DELETE_ENTRY = 1403,
  STR_A11Y_AREAS = 1404,
  STR_A11Y_TYPES = 1405,
  STR_A11Y_SCHEMAS = 1406,
  STR_A11Y_PROFILES = 1407,
  STR_A11Y_DRIVES = 1408,
  STR_A11Y_PROGRESS = 1409,
  STR_A11Y_MAP = 1410,
  STR_A11Y_DRIVE_SUMMARY = 1411,

  // To the car: the drive dialog, the drive write and `tarvik-cli drive`.
  STR_DRIVE_COLUMN_LABEL = 1300,
  STR_DRIVE_COLUMN_MOUNT = 1301,
  STR_DRIVE_COLUMN_FS = 1302,
  STR_DRIVE_COLUMN_FREE = 1303,
  STR_DRIVE_FROM_UDISKS = 1304,
  STR_DRIVE_FROM_KERNEL = 1305,  // why
  STR_DRIVE_OTHER_FOLDER = 1306,
  STR_DRIVE_EJECT = 1307,
  STR_DRIVE_NO_LABEL = 1308,
  STR_DRIVE_FOLDER_ROW = 1309,
  STR_DRIVE_FREE_GB = 1310,  // GiB
  STR_DRIVE_FREE_MB = 1311,  // MiB
  STR_DRIVE_CHOOSE = 1312,
  STR_DRIVE_EXISTING = 1313,  // paths
  STR_DRIVE_STATUS = 1314,    // profile, number, count
  STR_DRIVE_WRITTEN = 1315,   // profile, path, POIs, bytes
  STR_DRIVE_LEFT_OUT = 1316,  // profile, POIs left out
  STR_DRIVE_ALL_DONE = 1317,  // folder
  STR_DRIVE_CANCELLED = 1318,
  STR_DRIVE_PROFILE_FAILED = 1319,   // profile, failure
  STR_DRIVE_BAD_CHAR = 1320,         // profile, character, folder, file system
  STR_DRIVE_BAD_END = 1321,          // profile, name, folder, file system
  STR_DRIVE_NO_FILE_NAME = 1322,     // profile
  STR_DRIVE_OUTSIDE = 1323,          // profile, path
  STR_DRIVE_COLLISION = 1324,        // profile, profile, path
  STR_DRIVE_FAIL_FOLDER = 1325,      // path, reason
  STR_DRIVE_FAIL_SYNC = 1326,        // folder, reason
  STR_FAIL_EXPORT_TOO_LARGE = 1327,  // path
  STR_DRIVE_EJECTED = 1328,          // drive
  STR_DRIVE_BUSY = 1329,             // drive
  STR_DRIVE_EJECT_FAILED = 1330,     // drive, reason
  STR_DRIVE_NOT_EJECTABLE = 1331,    // folder
  STR_UDISKS_NO_BUS = 1332,
  STR_UDISKS_NO_SERVICE = 1333,
  STR_UDISKS_NOT_BUILT = 1334,
  STR_DRIVE_PARAMS_BUSY = 1335,
  STR_CLI_DRIVE_HELP = 1340,
  STR_CLI_DRIVE_LIST = 1341,
  STR_CLI_DRIVE_TO = 1342,
  STR_CLI_DRIVE_YES = 1343,
  STR_CLI_DRIVE_EJECT = 1344,
  STR_CLI_DRIVE_EXISTS = 1345,     // paths
  STR_CLI_DRIVE_NO_FOLDER = 1346,  // path
  STR_CLI_TYPE_FOLDER = 1347,
  STR_CLI_DRIVE_NONE = 1348,
  STR_CLI_DRIVE_LIST_ALONE = 1349,  // the argument

  // OpenStreetMap files.
  STR_POI_OSM_LOADED = 1450,  // cameras, path
  STR_OPEN_TYPES_OSM = 1451,
  STR_LAYOUT_OSM = 1452,
  STR_CLI_OSM_SOURCE = 1453,  // cameras
  STR_STATUS_OSM_RELATIONS = 1454,
  STR_STATUS_OSM_NODES = 1455,
  STR_FAIL_OSM_DAMAGED = 1460,         // path
  STR_FAIL_OSM_COMPRESSION = 1461,     // path, method
  STR_FAIL_OSM_XML = 1462,             // path, line, column
  STR_FAIL_OSM_NOT_OSM = 1463,         // path, root element
  STR_FAIL_OSM_NOT_OSM_PACKED = 1464,  // path, method
  STR_FAIL_OSM_NO_CAMERAS = 1465,      // path
  STR_FAIL_OSM_DATA = 1466,            // path
  STR_FAIL_OSM_NOT_HERE = 1467,        // path

  // The page (web/).
  STR_CLI_MAP_NO_BASEMAP = 1500,
  STR_CLI_MAP_NO_GSHHG = 1501,     // folder
  STR_CLI_MAP_GSHHG_ERROR = 1502,  // file and reason
  STR_CLI_MAP_NO_CITIES = 1503,    // path
  STR_CLI_MAP_BAD_CITIES = 1504,   // path
  STR_MAP_NO_GSHHG = 1505,
  STR_ABOUT_SOURCES = 1506,
  STR_WEB_SUBTITLE = 1550,
  STR_WEB_NOT_SETTINGS = 1551,
  STR_WEB_IMPORT_SETTINGS = 1552,
  STR_WEB_EXPORT_SETTINGS = 1553,
  STR_WEB_STORAGE_FAILED = 1554,
  STR_WEB_DROP_HINT = 1555,
  STR_WEB_PROFILE = 1556,
  STR_WEB_AREAS = 1557,
  STR_WEB_TYPES = 1558,
  STR_WEB_ADD = 1559,
  STR_WEB_DELETE = 1560,
  STR_WEB_ZOOM_IN = 1561,
  STR_WEB_ZOOM_OUT = 1562,
  STR_WEB_MAP_LABEL = 1563,
  STR_WEB_MAP_HINT = 1564,
  STR_WEB_CLOSE = 1565,
  STR_WEB_TOO_LARGE = 1566,
  STR_WEB_IMPORTED = 1567,
  STR_WEB_AX = 1568,
  STR_WEB_AY = 1569,
  STR_WEB_CX = 1570,
  STR_WEB_CY = 1571,
  STR_WEB_ENTRIES = 1572,
  STR_WEB_UNSUPPORTED = 1573,
};

}  // namespace tarvik
