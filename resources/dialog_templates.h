#pragma once
// Dialog templates and the main menu as plain data. Every window is built from these; the
// tests read them without a window system. Positions and sizes are in dialog units.
#include <cstdint>
#include <span>

namespace tarvik {

// Style bits, with the values of the classic dialog-template format so that the tables read
// the way such templates always have.
enum : std::uint32_t {
  WS_POPUP = 0x80000000u,
  WS_CHILD = 0x40000000u,
  WS_VISIBLE = 0x10000000u,
  WS_DISABLED = 0x08000000u,
  WS_CAPTION = 0x00C00000u,
  WS_BORDER = 0x00800000u,
  WS_VSCROLL = 0x00200000u,
  WS_SYSMENU = 0x00080000u,
  WS_THICKFRAME = 0x00040000u,
  WS_GROUP = 0x00020000u,
  WS_TABSTOP = 0x00010000u,

  DS_SETFONT = 0x40u,
  DS_MODALFRAME = 0x80u,
  DS_CENTER = 0x800u,

  BS_PUSHBUTTON = 0x0u,
  BS_DEFPUSHBUTTON = 0x1u,
  BS_AUTOCHECKBOX = 0x3u,
  BS_TYPEMASK = 0xFu,
  BS_ICON = 0x40u,
  BS_PUSHLIKE = 0x1000u,  // a check box drawn as a button that stays pressed

  SS_LEFT = 0x0u,
  SS_CENTER = 0x1u,
  SS_RIGHT = 0x2u,
  SS_ICON = 0x3u,
  SS_ETCHEDHORZ = 0x10u,
  SS_ETCHEDVERT = 0x11u,
  SS_ETCHEDFRAME = 0x12u,
  SS_TYPEMASK = 0x1Fu,
  SS_CENTERIMAGE = 0x200u,  // text: centred vertically

  ES_MULTILINE = 0x4u,
  ES_AUTOVSCROLL = 0x40u,
  ES_AUTOHSCROLL = 0x80u,
  ES_READONLY = 0x800u,
  ES_WANTRETURN = 0x1000u,  // multi-line: Enter starts a new line instead of pressing OK

  CBS_DROPDOWNLIST = 0x3u,

  LVS_REPORT = 0x1u,
  LVS_SINGLESEL = 0x4u,
};

// Dialog templates, the main menu and the icons, by what they are.
enum : std::uint16_t {
  DLG_ABOUT = 103,
  DLG_MAIN = 129,
  DLG_PROGRESS = 130,
  DLG_FILTER = 137,
  DLG_SCHEMA = 138,
  DLG_EXPORT = 141,
  DLG_DRIVE = 142,
  DLG_MAP = 150,

  MENU_MAIN = 109,

  ICON_PROGRAM = 131,
  ICON_MEMORY = 132,  // status bar part 0
  ICON_POI_LOADED = 133,
  ICON_POI_NONE = 134,
  ICON_ADD = 139,  // the editors' add and delete buttons
  ICON_DELETE = 140,
  ICON_ENABLED = 141,  // 141 to 145 are also the images 0 to 4 of the lists
  ICON_DISABLED = 142,
  ICON_LOCKED = 143,
  ICON_DEFAULT = 144,
  ICON_ENTRY = 145,
};

enum class CtlClass : std::uint8_t { Button, Static, Edit, ComboBox, ListView, Progress };

// Controls that no code addresses (frames, icons, fixed lines).
constexpr std::uint16_t kNoControlId = 0xFFFF;

struct DlgControlDef {
  std::uint16_t id;
  CtlClass cls;
  std::uint32_t style;
  std::int16_t x, y, cx, cy;  // for a drop-down list, cy is the height of the open list
  std::uint32_t textId = 0;   // string-table id of the initial text; 0: none
  std::uint16_t iconId = 0;   // icon resource of BS_ICON buttons and SS_ICON statics
  bool largeIcon = false;     // SS_ICON at the large icon size instead of the small one
  // What a screen reader calls a control that shows no text of its own (an icon button, a
  // list, a field without a label); for a field labelled by the text right before it in the
  // template, what follows the label's text in its name (which corner, for instance). The
  // text of an icon button is its tooltip too. 0: none.
  std::uint32_t nameId = 0;
};

struct DlgTemplateDef {
  std::uint16_t id;
  std::uint32_t style;
  std::int16_t cx, cy;       // client area
  std::uint32_t titleId;     // 0: the dialog sets its own title
  std::uint16_t menuId;      // 0: no menu
  const char16_t* fontName;  // the dialog font, which also fixes the dialog unit
  std::uint16_t pointSize;
  std::span<const DlgControlDef> controls;
};

const DlgTemplateDef* FindDialogTemplate(std::uint32_t id);
std::span<const DlgTemplateDef> DialogTemplates();

// Menu: popups addressed by position, items by command id. Id 0 is a separator.
struct MenuItemDef {
  std::uint16_t id;
  const char16_t* caption;  // the template's own caption; what is shown comes from textId
  std::uint32_t textId;
};

struct MenuPopupDef {
  const char16_t* caption;
  std::uint32_t textId;
  std::span<const MenuItemDef> items;
};

struct MenuDef {
  std::uint16_t id;
  std::span<const MenuPopupDef> popups;
};

const MenuDef* FindMenu(std::uint32_t id);

// Icon resources, in the order of the context's icon table.
inline constexpr std::uint16_t kIconIds[11] = {131, 132, 133, 134, 139, 140,
                                               141, 142, 143, 144, 145};

}  // namespace tarvik
