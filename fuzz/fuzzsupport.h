#pragma once

// Shared by the fuzz targets: a Qt application object for the whole run and
// a check that turns a broken promise into a finding.

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <cstdlib>

namespace velloran::fuzz {

// Creates the application object once, on the offscreen platform, so that
// pictures, pixmaps and widgets work without a display. It is never
// destroyed: libFuzzer ends the process with exit(), after which Qt's own
// globals are gone.
template <typename Application>
void startApplication()
{
    static int argc = 1;
    static char name[] = "velloran-fuzz";
    static char *argv[] = {name, nullptr};
    static Application *app = nullptr;
    if (!app) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = new Application(argc, argv);
    }
}

// libFuzzer stores the input that led here as a crash file.
[[noreturn]] inline void fail(const char *what, const QString &detail = QString())
{
    std::fprintf(stderr, "broken promise: %s %s\n", what, detail.toUtf8().constData());
    std::abort();
}

inline void require(bool condition, const char *what, const QString &detail = QString())
{
    if (!condition)
        fail(what, detail);
}

} // namespace velloran::fuzz
