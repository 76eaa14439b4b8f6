#include "resources/dialog_templates.h"

#include <algorithm>

#include "resources/string_ids.h"

namespace tarvik {
namespace {

constexpr std::uint32_t kModal = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
constexpr std::uint32_t kPush = BS_PUSHBUTTON | WS_TABSTOP;
constexpr std::uint32_t kDefPush = BS_DEFPUSHBUTTON | WS_TABSTOP;
constexpr std::uint32_t kIconPush = BS_PUSHBUTTON | BS_ICON | WS_TABSTOP;
constexpr std::uint32_t kCheck = BS_AUTOCHECKBOX | WS_TABSTOP;
constexpr std::uint32_t kEdit = ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;
constexpr std::uint32_t kLabel = SS_LEFT | SS_CENTERIMAGE;
constexpr std::uint32_t kList = LVS_REPORT | LVS_SINGLESEL | WS_BORDER | WS_TABSTOP;
constexpr std::uint32_t kDropList = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
constexpr std::uint16_t kNo = kNoControlId;

// About box.
constexpr DlgControlDef kAbout[] = {
    {kNo, CtlClass::Static, SS_ICON, 6, 9, 21, 20, 0, ICON_PROGRAM, true},
    {1044, CtlClass::Static, SS_LEFT, 33, 9, 270, 27, STR_ABOUT_HEADLINE},
    {1045, CtlClass::Edit,
     ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_BORDER | WS_TABSTOP, 33, 42, 270,
     132, STR_ABOUT_TEXT},
    {1, CtlClass::Button, kDefPush, 243, 180, 60, 18, STR_OK},
};

// Main window; the status bar is created at run time.
constexpr DlgControlDef kMain[] = {
    {1002, CtlClass::ListView, kList, 3, 3, 273, 207, 0, 0, false, STR_A11Y_AREAS},
    {1021, CtlClass::Static, SS_CENTER | SS_CENTERIMAGE, 285, 6, 57, 15, STR_SCHEMA_LABEL},
    {1019, CtlClass::ComboBox, kDropList, 351, 6, 153, 204},
    {1022, CtlClass::Static, SS_CENTER | SS_CENTERIMAGE, 513, 6, 144, 15},
    {1003, CtlClass::ListView, kList, 285, 27, 372, 183, 0, 0, false, STR_A11Y_TYPES},
};

// Progress dialog: no caption, a thin border.
constexpr DlgControlDef kProgress[] = {
    {1001, CtlClass::Static, kLabel, 3, 3, 174, 18, STR_STATUS_DONE},
    {1000, CtlClass::Progress, WS_BORDER, 3, 24, 174, 15, 0, 0, false, STR_A11Y_PROGRESS},
    {2, CtlClass::Button, kPush, 117, 45, 60, 18, STR_CANCEL},
};

// Filter editor. The compass is a cross of two etched lines through 339,108 with the four
// directions around it.
constexpr DlgControlDef kFilter[] = {
    {1005, CtlClass::Button, kIconPush, 6, 6, 27, 18, 0, ICON_ADD, false, STR_A11Y_ADD},
    {1006, CtlClass::Button, kIconPush, 36, 6, 27, 18, 0, ICON_DELETE, false, STR_A11Y_DELETE},
    {1003, CtlClass::ListView, kList, 6, 27, 156, 162, 0, 0, false, STR_A11Y_AREAS},
    {1028, CtlClass::Static, kLabel, 168, 18, 63, 18, STR_COLUMN_NAME},
    {1004, CtlClass::Edit, kEdit, 234, 18, 138, 18},
    {kNo, CtlClass::Static, SS_ICON, 408, 12, 20, 20, 0, ICON_ENABLED},
    {1008, CtlClass::Button, kCheck, 423, 12, 93, 12, STR_ENABLED},
    {kNo, CtlClass::Static, SS_ICON, 408, 27, 20, 20, 0, ICON_LOCKED},
    {1013, CtlClass::Button, kCheck | WS_DISABLED, 423, 27, 93, 12, STR_LOCKED},
    {kNo, CtlClass::Static, SS_ETCHEDFRAME, 168, 45, 348, 144},
    {1020, CtlClass::Static, kLabel, 177, 57, 63, 18, STR_LONGITUDE},
    {1009, CtlClass::Edit, kEdit, 246, 57, 63, 18, 0, 0, false, STR_CORNER_NW},
    {1021, CtlClass::Static, kLabel, 177, 78, 63, 18, STR_LATITUDE},
    {1010, CtlClass::Edit, kEdit, 246, 78, 63, 18, 0, 0, false, STR_CORNER_NW},
    {kNo, CtlClass::Static, SS_ETCHEDHORZ, 303, 108, 72, 1},
    {kNo, CtlClass::Static, SS_ETCHEDVERT, 339, 84, 1, 48},
    {1024, CtlClass::Static, SS_CENTER, 309, 72, 60, 11, STR_NORTH},
    {1025, CtlClass::Static, SS_LEFT, 378, 102, 54, 11, STR_EAST},
    {1026, CtlClass::Static, SS_CENTER, 309, 134, 60, 11, STR_SOUTH},
    {1027, CtlClass::Static, SS_RIGHT, 246, 102, 54, 11, STR_WEST},
    {1022, CtlClass::Static, kLabel, 375, 138, 63, 18, STR_LONGITUDE},
    {1011, CtlClass::Edit, kEdit, 444, 138, 63, 18, 0, 0, false, STR_CORNER_SE},
    {1023, CtlClass::Static, kLabel, 375, 159, 63, 18, STR_LATITUDE},
    {1012, CtlClass::Edit, kEdit, 444, 159, 63, 18, 0, 0, false, STR_CORNER_SE},
    {1007, CtlClass::Button, kPush, 321, 198, 60, 18, STR_SAVE},
    {1, CtlClass::Button, kDefPush, 390, 198, 60, 18, STR_OK},
    {2, CtlClass::Button, kPush, 456, 198, 60, 18, STR_CANCEL},
};

// Schema editor.
constexpr DlgControlDef kSchema[] = {
    {1009, CtlClass::Button, kIconPush, 6, 6, 27, 18, 0, ICON_ADD, false, STR_A11Y_ADD},
    {1010, CtlClass::Button, kIconPush, 36, 6, 27, 18, 0, ICON_DELETE, false, STR_A11Y_DELETE},
    {1011, CtlClass::ListView, kList, 6, 27, 156, 204, 0, 0, false, STR_A11Y_SCHEMAS},
    {1024, CtlClass::Static, kLabel, 168, 18, 63, 18, STR_COLUMN_NAME},
    {1014, CtlClass::Edit, kEdit, 234, 18, 138, 18},
    {kNo, CtlClass::Static, SS_ICON, 408, 12, 20, 20, 0, ICON_ENABLED},
    {1018, CtlClass::Button, kCheck, 423, 12, 93, 12, STR_ENABLED},
    {kNo, CtlClass::Static, SS_ICON, 408, 27, 20, 20, 0, ICON_DEFAULT},
    {1023, CtlClass::Button, kCheck, 423, 27, 93, 12, STR_DEFAULT},
    {kNo, CtlClass::Static, SS_ETCHEDFRAME, 168, 45, 417, 186},
    {1016, CtlClass::Button, kIconPush, 177, 51, 27, 18, 0, ICON_ADD, false, STR_A11Y_ADD_ENTRY},
    {1017, CtlClass::Button, kIconPush, 207, 51, 27, 18, 0, ICON_DELETE, false,
     STR_A11Y_DELETE_ENTRY},
    {1015, CtlClass::ListView, kList, 177, 72, 186, 153, 0, 0, false, STR_A11Y_TYPES},
    {1025, CtlClass::Static, kLabel, 372, 63, 63, 18, STR_COLUMN_TYPE},
    {1020, CtlClass::Edit, kEdit, 372, 81, 207, 18},
    {1026, CtlClass::Static, kLabel, 372, 111, 63, 18, STR_COLUMN_DESC},
    {1021, CtlClass::Edit, kEdit, 372, 129, 207, 18},
    {1027, CtlClass::Static, SS_LEFT, 372, 150, 207, 75, STR_SCHEMA_HINT},
    {1022, CtlClass::Button, kPush, 393, 240, 60, 18, STR_SAVE},
    {1, CtlClass::Button, kDefPush, 462, 240, 60, 18, STR_OK},
    {2, CtlClass::Button, kPush, 525, 240, 60, 18, STR_CANCEL},
};

// Export parameters.
constexpr DlgControlDef kExport[] = {
    {1025, CtlClass::Button, kIconPush, 6, 6, 27, 18, 0, ICON_ADD, false, STR_A11Y_ADD},
    {1026, CtlClass::Button, kIconPush, 36, 6, 27, 18, 0, ICON_DELETE, false, STR_A11Y_DELETE},
    {1027, CtlClass::ListView, kList, 6, 27, 156, 168, 0, 0, false, STR_A11Y_PROFILES},
    {1029, CtlClass::Static, kLabel, 168, 27, 63, 18, STR_COLUMN_NAME},
    {1030, CtlClass::Edit, kEdit, 234, 27, 138, 18},
    {kNo, CtlClass::Static, SS_ICON, 408, 12, 20, 20, 0, ICON_ENABLED},
    {1031, CtlClass::Button, kCheck, 423, 12, 93, 12, STR_ENABLED},
    {kNo, CtlClass::Static, SS_ICON, 408, 27, 20, 20, 0, ICON_LOCKED},
    {1032, CtlClass::Button, kCheck | WS_DISABLED, 423, 27, 93, 12, STR_LOCKED},
    {kNo, CtlClass::Static, SS_ICON, 408, 42, 20, 20, 0, ICON_DEFAULT},
    {1044, CtlClass::Button, kCheck, 423, 42, 93, 12, STR_DEFAULT},
    {kNo, CtlClass::Static, SS_ETCHEDFRAME, 168, 60, 372, 135},
    {1034, CtlClass::Static, kLabel, 174, 66, 90, 18, STR_EXPORT_FILE},
    {1035, CtlClass::Edit, kEdit, 267, 66, 138, 18},
    {1036, CtlClass::Static, kLabel, 174, 87, 90, 18, STR_EXPORT_CODEPAGE},
    {1041, CtlClass::ComboBox, kDropList, 267, 90, 138, 105},
    {1038, CtlClass::Static, kLabel, 174, 108, 90, 18, STR_EXPORT_SIZE_LIMIT},
    {1037, CtlClass::Edit, kEdit, 267, 108, 138, 18},
    {1040, CtlClass::Static, kLabel, 174, 129, 90, 18, STR_EXPORT_FORMAT},
    {1039, CtlClass::Edit, kEdit, 267, 129, 138, 18},
    {1042, CtlClass::Static, kLabel, 174, 150, 90, 18, STR_EXPORT_FOLDER},
    {1043, CtlClass::Edit, kEdit, 267, 150, 138, 18},
    {1045, CtlClass::Static, kLabel, 174, 171, 90, 18, STR_EXPORT_STRING_LIMIT},
    {1046, CtlClass::Edit, kEdit, 267, 171, 48, 18},
    {1047, CtlClass::Button, kCheck, 321, 171, 87, 18, STR_EXPORT_TRANSLIT},
    {1048, CtlClass::Edit, ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL | WS_BORDER | WS_TABSTOP, 411,
     66, 123, 123, 0, 0, false, STR_COLUMN_DESC},
    {1033, CtlClass::Button, kPush, 348, 201, 60, 18, STR_SAVE},
    {1, CtlClass::Button, kDefPush, 417, 201, 60, 18, STR_OK},
    {2, CtlClass::Button, kPush, 480, 201, 60, 18, STR_CANCEL},
};

// Export drive: the drives, where they come from, what the last write or removal did.
constexpr DlgControlDef kDrive[] = {
    {1042, CtlClass::ListView, kList, 6, 6, 511, 92, 0, 0, false, STR_A11Y_DRIVES},
    // The summary before the source line, so the line does not become the summary's label.
    {1051, CtlClass::Edit,
     ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_BORDER | WS_TABSTOP, 6, 126, 511,
     66, 0, 0, false, STR_A11Y_DRIVE_SUMMARY},
    // Two lines of the normal font: where the drives come from, and why not from UDisks2.
    {1050, CtlClass::Static, SS_LEFT, 6, 101, 511, 22},
    {1052, CtlClass::Button, kPush, 6, 198, 84, 18, STR_DRIVE_OTHER_FOLDER},
    {1053, CtlClass::Button, kPush, 96, 198, 60, 18, STR_DRIVE_EJECT},
    {1043, CtlClass::Button, kPush, 321, 198, 60, 18, STR_SAVE},
    {1, CtlClass::Button, kDefPush, 390, 198, 60, 18, STR_OK},
    {2, CtlClass::Button, kPush, 456, 198, 60, 18, STR_CANCEL},
};

constexpr const char16_t* kShellFont = u"MS Shell Dlg";

// Map window: tools over the map, which is created at run time in the free rectangle
// 6, 26, 628 x 346 below them.
constexpr DlgControlDef kMap[] = {
    {1101, CtlClass::Button, kPush, 6, 6, 72, 16, STR_MAP_SHOW_ALL},
    {1102, CtlClass::Button, kCheck | BS_PUSHLIKE, 84, 6, 84, 16, STR_MAP_NEW_AREA},
    {1103, CtlClass::Static, kLabel, 186, 6, 52, 16, STR_LONGITUDE},
    {1104, CtlClass::Static, kLabel, 240, 6, 60, 16},
    {1105, CtlClass::Static, kLabel, 306, 6, 48, 16, STR_LATITUDE},
    {1106, CtlClass::Static, kLabel, 356, 6, 60, 16},
    {1107, CtlClass::Static, SS_LEFT, 6, 376, 490, 20, STR_MAP_HINT},
    {1, CtlClass::Button, kDefPush, 510, 378, 60, 16, STR_OK},
    {2, CtlClass::Button, kPush, 574, 378, 60, 16, STR_CANCEL},
};

constexpr DlgTemplateDef kTemplates[] = {
    {DLG_ABOUT, kModal, 309, 203, STR_ABOUT_TITLE, 0, kShellFont, 8, kAbout},
    {DLG_MAIN, WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | DS_SETFONT | DS_CENTER, 661,
     215, 0, MENU_MAIN, kShellFont, 8, kMain},
    {DLG_PROGRESS, WS_POPUP | WS_BORDER | DS_MODALFRAME | DS_SETFONT, 182, 69, 0, 0, kShellFont, 8,
     kProgress},
    {DLG_FILTER, kModal, 523, 227, STR_FILTER_TITLE, 0, kShellFont, 8, kFilter},
    {DLG_SCHEMA, kModal, 591, 266, STR_SCHEMA_TITLE, 0, kShellFont, 8, kSchema},
    {DLG_EXPORT, kModal, 547, 224, STR_EXPORT_TITLE, 0, kShellFont, 8, kExport},
    {DLG_DRIVE, kModal, 523, 227, STR_DRIVE_TITLE, 0, kShellFont, 8, kDrive},
    {DLG_MAP, kModal | WS_THICKFRAME, 640, 400, STR_MAP_TITLE, 0, kShellFont, 8, kMap},
};

constexpr MenuItemDef kFileItems[] = {
    {32773, u"Open file...", STR_MENU_OPEN}, {32782, u"Save as...", STR_MENU_SAVE_AS},
    {32787, u"Drive", STR_MENU_DRIVE},       {0, nullptr, 0},
    {32771, u"Exit", STR_MENU_EXIT},
};
constexpr MenuItemDef kOptionItems[] = {
    {32778, u"Filter...", STR_MENU_FILTER},
    {32780, u"Schema...", STR_MENU_SCHEMA},
    {32785, u"Export param...", STR_MENU_EXPORT},
    {32790, u"Map...", STR_MENU_MAP},
};
constexpr MenuItemDef kHelpItems[] = {
    {32774, u"About...", STR_MENU_ABOUT},
};
constexpr MenuPopupDef kMainPopups[] = {
    {u"File", STR_MENU_FILE, kFileItems},
    {u"Options", STR_MENU_OPTIONS, kOptionItems},
    {u"Help", STR_MENU_HELP, kHelpItems},
};
constexpr MenuDef kMenus[] = {{MENU_MAIN, kMainPopups}};

}  // namespace

std::span<const DlgTemplateDef> DialogTemplates() {
  return kTemplates;
}

const DlgTemplateDef* FindDialogTemplate(std::uint32_t id) {
  auto it = std::find_if(std::begin(kTemplates), std::end(kTemplates),
                         [id](const DlgTemplateDef& t) { return t.id == id; });
  return it == std::end(kTemplates) ? nullptr : &*it;
}

const MenuDef* FindMenu(std::uint32_t id) {
  for (const MenuDef& m : kMenus)
    if (m.id == id) return &m;
  return nullptr;
}

}  // namespace tarvik
