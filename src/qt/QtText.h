// The model's texts are UTF-8; Qt's are QString.
#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace tarvel {

inline QString Qs(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
inline std::string Us(const QString& s) { return s.toStdString(); }

}  // namespace tarvel
