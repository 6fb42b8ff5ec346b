// SPDX-License-Identifier: GPL-3.0-or-later
// Limits and small helpers shared by the record player's files.
#pragma once

#include <QColor>
#include <cstddef>
#include <cstdint>

namespace pagemint::emf {

// Device coordinates are clamped to this magnitude: Qt's rasterizer works
// in fixed point, and points millions of pixels off the canvas only cost
// time (or overflow) without changing a visible pixel.
inline constexpr double kMaxCoordinate = 1 << 22;
// Every SaveDC keeps a copy of the drawing state with its clip region; a
// damaged file repeating SaveDC must not grow memory without bound.
inline constexpr size_t kMaxSavedStates = 1024;
// Object indexes are 16-bit in the header's handle count; larger ones are
// damage, and the table must not grow without bound.
inline constexpr uint32_t kMaxObjects = 1 << 16;
// A pen wider than any canvas paints nothing more, but Qt's stroker still
// builds its outline.
inline constexpr double kMaxPenWidth = 1 << 14;
// Glyphs are rendered at the device size; absurd sizes would make the font
// engine allocate huge glyph images.
inline constexpr double kMaxFontPixels = 1 << 12;
// A user dash style longer than this is damage; Qt's dasher would repeat it
// along every line.
inline constexpr uint32_t kMaxDashEntries = 16;

QColor ColorRef(uint32_t value);
// Finite, and clamped to kMaxCoordinate.
double ClampCoordinate(double v);
int RoundCoordinate(double v);

}  // namespace pagemint::emf
