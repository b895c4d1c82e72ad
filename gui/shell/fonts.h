// The application font: the platform's, with a CJK family behind it, so that the system's own
// Chinese texts (dialog titles, filters, messages) render where the platform does not fall back.
#pragma once

#include <QFont>

namespace fw {

// The family behind the platform font (fonts-wqy-microhei, scripts/setup-deps.sh).
inline constexpr const char* kCjkFamily = "WenQuanYi Micro Hei";

// The application's font with the CJK family added when it is installed.
QFont ApplicationFont(const QFont& platform);

}  // namespace fw
