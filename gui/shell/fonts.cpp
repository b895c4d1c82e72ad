#include "gui/shell/fonts.h"

#include <QFontDatabase>
#include <QStringList>

namespace fw {

QFont ApplicationFont(const QFont& platform) {
  QFont font = platform;
  const QString cjk = QString::fromLatin1(kCjkFamily);
  if (!QFontDatabase::families().contains(cjk)) return font;
  QStringList families = font.families();
  if (families.isEmpty()) families << font.family();
  if (!families.contains(cjk)) families << cjk;
  font.setFamilies(families);
  return font;
}

}  // namespace fw
