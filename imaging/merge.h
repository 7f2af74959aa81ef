#pragma once

// Keyed merging: drawing one picture over another except where the drawn
// picture is transparent. Which pixels are transparent is decided by one of
// two rules, always named by the caller:
//
// - by mask: a pixel with alpha below 128 is transparent, any other is
//   drawn, whatever its colour (a picture without alpha is drawn whole);
// - by key colour: a pixel is transparent exactly where its RGB equals the
//   key colour.
//
// Overlays are merged by mask because tinting can turn other colours into
// the tinted key colour (greys at saturation -100, near white at lightness
// +100); a mask taken from the untinted picture stays right at every tint.

#include <QImage>

#include <QSize>

#include <cstdint>
#include <vector>

namespace velloran {

enum class MergeRule { KeyColour, Mask };

// One merged row: each pixel is the drawn one (made opaque) where that is
// drawn, the one under it where that is transparent. `out` may be `under`.
void mergeRowMasked(const std::uint32_t *under, const std::uint32_t *drawn, std::uint32_t *out,
                    int width);
void mergeRowKeyed(const std::uint32_t *under, const std::uint32_t *drawn, std::uint32_t *out,
                   int width, std::uint32_t keyRgb);

// Draws `drawn` over `target` by `rule` (`key` is the key colour of the
// key-colour rule). A drawn picture of another size is scaled to
// the target's size by nearest-sample lookup, colour and mask alike, so no
// mixed colours appear at the edge of the mask. The target keeps its format.
// A target that shares its pixels with other pictures gets new pixels,
// written in the same pass, rather than a copy that is then overwritten.
void mergePicture(QImage &target, const QImage &drawn, MergeRule rule, QRgb key);

// The rows of an overlay with a mask (alpha) that fill `height` rows when
// only rows transparent across the whole width are dropped: every row that
// holds anything drawn is kept, in order, and the dropped rows are spread
// so that each kept row lands as near as it can to its place scaled to the
// new height. Empty when the overlay is not taller or has too few
// transparent rows to drop.
std::vector<int> rowsKeptForHeight(const QImage &overlay, int height);

// The overlay made `size` for drawing, shortened by rowsKeptForHeight when
// only its height is larger and that can be done; otherwise as it is (and
// mergePicture then scales it by nearest sample).
QImage fitOverlay(const QImage &overlay, QSize size);

} // namespace velloran
