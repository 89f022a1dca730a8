// Engine text for widgets: the lines are 8-bit text in the system's code page.
#pragma once

#include <QString>
#include <string_view>

namespace tobrin::shell {

inline QString ToQString(std::string_view text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace tobrin::shell
