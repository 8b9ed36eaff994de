#include "FixHints.h"

#include "StyleFormat.h"

namespace lvs {
namespace {

const std::string kSize = std::to_string(kStyleWidth) + "x" + std::to_string(kStyleHeight);

// How viewers turn the stored pixels for each orientation, and jpegtran's
// lossless transform that stores them so (1280 by 720 is whole MCUs at
// every sampling, so -perfect holds).
struct Turn {
  const char* viewers;
  const char* transform;  // empty: the picture turns on its side
};
constexpr Turn kTurns[9] = {
    {"", ""},
    {"", ""},
    {"mirror it left to right", "-flip horizontal"},
    {"turn it upside down", "-rotate 180"},
    {"mirror it top to bottom", "-flip vertical"},
    {"mirror it and turn it on its side", ""},
    {"turn it 90 degrees clockwise", ""},
    {"mirror it and turn it on its side", ""},
    {"turn it 90 degrees anticlockwise", ""},
};

}  // namespace

std::string LosslessBaselineHint() {
  return "jpegtran makes it baseline without changing a pixel: "
         "jpegtran -copy all -outfile baseline.jpg preview.jpg";
}

std::string RemakePreviewHint() {
  return "To make a " + std::to_string(kStyleWidth) + " by " + std::to_string(kStyleHeight) +
         " baseline JPEG from any picture (ImageMagick): convert PICTURE -auto-orient -colorspace sRGB "
         "-background black -flatten -resize " +
         kSize + "^ -gravity center -extent " + kSize +
         " -strip -interlace none -quality 92 preview.jpg; then pack it again: lvs pack --from PACKAGE --preview "
         "preview.jpg -o PACKAGE";
}

std::string OrientationAdvice(int orientation) {
  if (orientation < 2 || orientation > 8) return {};
  const Turn& turn = kTurns[orientation];
  std::string text = "The preview's EXIF orientation is " + std::to_string(orientation) + ": photo viewers " +
                     turn.viewers +
                     " before showing it, but the plug-in draws the pixels as stored, so the host shows it "
                     "otherwise. ";
  if (*turn.transform)
    text += std::string("To store it as viewers show it, without loss: jpegtran -copy none -perfect ") +
            turn.transform + " -outfile upright.jpg preview.jpg";
  else
    text += "Viewers show it " + std::to_string(kStyleHeight) + " by " + std::to_string(kStyleWidth) +
            " (-auto-orient below turns it as they do). " + RemakePreviewHint();
  text +=
      ". If the pixels as stored are what you mean, drop the tag: jpegtran -copy none -outfile plain.jpg "
      "preview.jpg.";
  return text;
}

}  // namespace lvs
