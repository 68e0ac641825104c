#include "qt/Look.h"

#include <QApplication>
#include <QFont>
#include <QStyleFactory>

namespace tarvel {

void SetUpApplicationLook() {
  if (QStyle* fusion = QStyleFactory::create("Fusion")) QApplication::setStyle(fusion);
  QFont font = QApplication::font();
  // Latin text first, then the CJK families the desktops ship; pixel size keeps the fixed layout fixed.
  font.setFamilies({"DejaVu Sans", "WenQuanYi Micro Hei", "Noto Sans CJK SC", "Droid Sans Fallback", font.family()});
  font.setPixelSize(12);
  QApplication::setFont(font);
}

}  // namespace tarvel
