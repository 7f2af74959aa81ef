#pragma once

// Keyed merging: drawing one picture over another except where the drawn
// picture is transparent.
//
// A drawn picture with an alpha channel carries its own mask: a pixel with
// alpha below 128 is transparent, any other is drawn, whatever its colour.
// A drawn picture without alpha is transparent exactly where its RGB equals
// the key colour. The mask wins over the colour because tinting can turn
// other colours into the tinted key colour (greys at saturation -100, near
// white at lightness +100); a mask taken from the untinted picture stays
// right at every tint.

#include <QImage>

#include <cstdint>

namespace velloran {

// Drawn pixels replace the target, transparent ones leave it.
void mergeRowMasked(std::uint32_t *target, const std::uint32_t *drawn, int width);
void mergeRowKeyed(std::uint32_t *target, const std::uint32_t *drawn, int width,
                   std::uint32_t keyRgb);

// Draws `drawn` over `target`. A drawn picture of another size is scaled to
// the target's size by nearest-sample lookup, colour and mask alike, so no
// mixed colours appear at the edge of the mask. The target keeps its format.
void mergePicture(QImage &target, const QImage &drawn, QRgb key);

} // namespace velloran
