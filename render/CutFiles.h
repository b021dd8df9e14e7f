// The strip for a cutter: an SVG in millimetres (red hairline cut paths, blue marks, groups
// "cut" and "mark" with one group per piece) and a DXF (layers "CUT" and "MARK"). Holes are
// closed paths (circles, or slots with round ends), the outline of each piece a closed path
// with its diagonal seams; titles, piece numbers, track guides, alignment marks across the
// seams and rings around holes still too close lie on the mark layer. The pieces lie one
// below the other, the first at the top.
#pragma once

#include "render/CutPlan.h"

namespace tw {

// Room around and between the pieces in a cut file.
constexpr double cutMarginMm = 5;
constexpr double cutRowGapMm = 8;

// Where a point (x along the strip, y across it from the lower edge) of piece `p` lies in a cut
// file, in millimetres with y upwards from the file's lower edge (the DXF's own coordinates;
// the SVG's y is the file height minus this one).
struct CutLayout {
    double fileWidthMm = 0, fileHeightMm = 0;
    double x(const CutPlan &plan, unsigned p, double x) const;
    double y(const CutPlan &plan, unsigned p, double y) const;
};
CutLayout cutLayout(const CutPlan &plan);

} // namespace tw
