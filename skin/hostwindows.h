#pragma once

// The host's four window images, once: their sizes, the file each is saved
// as, the line of the description file that names it, and the orders in
// which a skin handles them. Everything that goes over the windows iterates
// this table.

#include <QLatin1StringView>
#include <QSize>

#include <array>
#include <cstddef>

namespace velloran {

// In the order the window images are composed in.
enum class HostWindow : int { Main, Scene, Console, Chat };

struct HostWindowInfo
{
    HostWindow window;
    QSize size;                     // pixels
    QLatin1StringView fileSuffix;   // the skin "Blue" saves this one as "Blue" + suffix + ".bmp"
    QLatin1StringView descriptionKey; // the description file's line naming that file
};

inline constexpr std::array<HostWindowInfo, 4> kHostWindows = {{
    {HostWindow::Main, {800, 629}, QLatin1StringView("Main"), QLatin1StringView("MainWindowImage")},
    {HostWindow::Scene, {199, 498}, QLatin1StringView("Scene"), QLatin1StringView("SceneWindowImage")},
    {HostWindow::Console, {310, 105}, QLatin1StringView("Console"), QLatin1StringView("ConsoleBorderImage")},
    {HostWindow::Chat, {438, 173}, QLatin1StringView("Chat"), QLatin1StringView("ChatWindowImage")},
}};

// The order the window images are composed in: the table's.
inline constexpr std::array<HostWindow, 4> kComposeOrder = {HostWindow::Main, HostWindow::Scene,
                                                            HostWindow::Console, HostWindow::Chat};
// The order the files of a skin are written in (the description file last).
inline constexpr std::array<HostWindow, 4> kSaveOrder = {HostWindow::Main, HostWindow::Scene, HostWindow::Chat,
                                                         HostWindow::Console};
// The order of the description file's lines naming the window images.
inline constexpr std::array<HostWindow, 4> kDescriptionOrder = {HostWindow::Console, HostWindow::Scene,
                                                                HostWindow::Chat, HostWindow::Main};

constexpr std::size_t indexOf(HostWindow window)
{
    return static_cast<std::size_t>(window);
}

constexpr const HostWindowInfo &hostWindow(HostWindow window)
{
    return kHostWindows[indexOf(window)];
}

// Sizes of the host's window images, in pixels.
inline constexpr QSize kMainImageSize = hostWindow(HostWindow::Main).size;
inline constexpr QSize kSceneImageSize = hostWindow(HostWindow::Scene).size;
inline constexpr QSize kConsoleImageSize = hostWindow(HostWindow::Console).size;
inline constexpr QSize kChatImageSize = hostWindow(HostWindow::Chat).size;

// The suffix the longest file of a skin has after its name.
inline constexpr QLatin1StringView kLongestFileSuffix("Console.bmp");

static_assert([] {
    for (std::size_t i = 0; i < kHostWindows.size(); ++i)
        if (indexOf(kHostWindows[i].window) != i || kComposeOrder[i] != kHostWindows[i].window)
            return false;
    return true;
}());

} // namespace velloran
