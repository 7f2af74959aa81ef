#pragma once

// Puts a test program on an offscreen screen of the size that
// VELLORAN_SCREEN_CONFIG (a configuration file of the offscreen platform)
// gives, unless another platform is asked for: include it in one source
// file of the program. It acts before main(), so before the application
// object chooses its screens.

#include <QByteArray>
#include <QtGlobal>

namespace velloran::test {

inline const bool kOffscreenScreenChosen = [] {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.isEmpty() || platform == "offscreen")
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" VELLORAN_SCREEN_CONFIG);
    return true;
}();

} // namespace velloran::test
