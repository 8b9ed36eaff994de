// The commands that mend a preview, for the problem texts: an author who is
// told what is wrong is also told what to run. Each names its tool (from
// libjpeg-turbo or ImageMagick, both in every distribution) and leaves the
// file names for the author to put in.
#pragma once

#include <string>

namespace lvs {

// A progressive (or arithmetic-coded, or scan-by-scan) JPEG rewritten as a
// baseline one, coefficient for coefficient: the pixels stay exactly as
// they were.
std::string LosslessBaselineHint();

// A baseline JPEG of the footage size from any picture, upright, in sRGB,
// cropped to fill the frame, and then packed again.
std::string RemakePreviewHint();

// What an EXIF orientation other than 1 does in the host, and how to store
// the picture as viewers show it.
std::string OrientationAdvice(int orientation);

}  // namespace lvs
