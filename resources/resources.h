#pragma once

#include <QString>
#include <QStringList>

namespace velloran::resources {

// Paths of the pictures compiled into the programs (Qt resource paths).
inline const QString kMainTemplate = QStringLiteral(":/velloran/MainMerge.bmp");
inline const QString kSceneTemplate = QStringLiteral(":/velloran/SceneMerge.bmp");
inline const QString kChatTemplate = QStringLiteral(":/velloran/OutChatMerge.bmp");
inline const QString kConsoleTemplate = QStringLiteral(":/velloran/InChatMerge.bmp");
// The same four, masked and ready to draw (see decodeStoredPicture).
inline const QString kMainOverlay = QStringLiteral(":/velloran/MainMerge.argb");
inline const QString kSceneOverlay = QStringLiteral(":/velloran/SceneMerge.argb");
inline const QString kChatOverlay = QStringLiteral(":/velloran/OutChatMerge.argb");
inline const QString kConsoleOverlay = QStringLiteral(":/velloran/InChatMerge.argb");
inline const QString kSwatch = QStringLiteral(":/velloran/Swatch.bmp");
inline const QString kSliderThumb = QStringLiteral(":/velloran/SliderThumb.ico");
inline const QString kSliderRail = QStringLiteral(":/velloran/SliderRail.bmp");
inline const QString kWindowIcon = QStringLiteral(":/velloran/Velloran.ico");

// The paths of every compiled-in picture, for checks at start and in tests.
QStringList allPictures();

} // namespace velloran::resources
