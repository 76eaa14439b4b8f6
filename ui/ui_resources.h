#pragma once
// What the windows share beyond the engine's context: fonts, icons and the image list.
// The context holds it (CAppContext::ui); the program entry creates and releases it.
#include <QFont>
#include <QIcon>
#include <QSize>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/app_context.h"

namespace tarvik {

// A list of same-sized images that list views show by index.
struct ImageList {
  QSize size;
  std::vector<QIcon> images;
  int Add(const QIcon& icon);  // the new image's index, -1 for a null icon
  int Count() const { return static_cast<int>(images.size()); }
};

struct UiResources {
  QFont fontNormal;  // "Verdana" 10 point (a similar face where Verdana is missing)
  QFont fontSmall;   // "Verdana" 8 point
  // Icons 131, 132, 133, 134, 139, 140, 141 to 145 (kIconIds order), each at every size
  // the program draws them.
  std::array<QIcon, 11> icons;
  // Icons 141 to 145 as images 0 to 4; every list view of the dialogs shows it.
  ImageList imageList;
  QSize smallIconSize{16, 16};
  QSize largeIconSize{32, 32};

  // The icon of a resource id, or a null icon.
  const QIcon& Icon(std::uint32_t resourceId) const;
};

// Needs a running QGuiApplication. Missing pictures leave null icons behind.
std::shared_ptr<UiResources> CreateUiResources();
// context.ui = CreateUiResources().
void InitUi(CAppContext& context);

inline UiResources* Ui(const CAppContext* context) {
  return context ? context->ui.get() : nullptr;
}

// An icon resource of the program (resources/icons), or a null icon for an unknown id.
QIcon LoadIconResource(std::uint32_t resourceId);

}  // namespace tarvik
