// lvs render: open a package and draw one frame into a host world of the
// requested depth and size, then save that world as a PNG, under the verdict
// check gives (the same code judges it): what the host shows, and why not
// the preview.
#include <cmath>
#include <cstdlib>

#include "CommandLine.h"
#include "CommandSupport.h"
#include "PackageCheck.h"
#include "PngFile.h"
#include "ResultNames.h"
#include "VerdictReport.h"

namespace lvs {
namespace {

PF_PixelFormat FormatForDepth(int depth) {
  return depth == 8 ? PF_PixelFormat_ARGB32 : depth == 16 ? PF_PixelFormat_ARGB64 : PF_PixelFormat_ARGB128;
}

// The host's 16-bit range is 0 to 32768; PNG's is 0 to 65535.
uint16_t From16(unsigned v) {
  if (v >= 32768) return 65535;
  return uint16_t((v * 65535u + 16384u) / 32768u);
}

uint16_t FromFloat(float v) {
  if (!(v > 0.0f)) return 0;  // also NaN
  if (v >= 1.0f) return 65535;
  return uint16_t(std::lround(double(v) * 65535.0));
}

// The world as RGBA, 8 bits for an 8-bit world, 16 bits otherwise.
PngPicture PictureOf(const PF_EffectWorld& world, int depth) {
  PngPicture picture;
  picture.width = world.width;
  picture.height = world.height;
  picture.channels = 4;
  picture.bitDepth = depth == 8 ? 8 : 16;
  const size_t count = size_t(world.width) * size_t(world.height) * 4;
  if (depth == 8)
    picture.samples8.reserve(count);
  else
    picture.samples16.reserve(count);
  for (int y = 0; y < world.height; ++y) {
    for (int x = 0; x < world.width; ++x) {
      if (depth == 8) {
        const PF_Pixel p = lvs_host::GetPixel8(world, x, y);
        picture.samples8.insert(picture.samples8.end(), {p.red, p.green, p.blue, p.alpha});
      } else if (depth == 16) {
        const PF_Pixel16 p = lvs_host::GetPixel16(world, x, y);
        picture.samples16.insert(picture.samples16.end(),
                                 {From16(p.red), From16(p.green), From16(p.blue), From16(p.alpha)});
      } else {
        const PF_PixelFloat p = lvs_host::GetPixelFloat(world, x, y);
        picture.samples16.insert(picture.samples16.end(),
                                 {FromFloat(p.red), FromFloat(p.green), FromFloat(p.blue), FromFloat(p.alpha)});
      }
    }
  }
  return picture;
}

// What the picture written holds, by what the host shows.
const char* Holding(Shown shown) {
  switch (shown) {
    case Shown::Preview:
      return "the package's preview";
    case Shown::Fallback:
      return "the plug-in's fallback picture";
    case Shown::OtherFrame:
      return "the frame the plug-in drew";
    case Shown::NoFrame:
    case Shown::NotImported:
      break;
  }
  return "what the world holds after the failed draw";
}

}  // namespace

bool ParseSize(const std::string& text, int* width, int* height) {
  const size_t x = text.find_first_of("xX");
  if (x == std::string::npos || x == 0 || x + 1 >= text.size()) return false;
  auto number = [](const std::string& s, int* out) {
    if (s.empty() || s.size() > 6 || s.find_first_not_of("0123456789") != std::string::npos) return false;
    *out = std::atoi(s.c_str());
    return *out >= 1 && *out <= kLargestSide;
  };
  return number(text.substr(0, x), width) && number(text.substr(x + 1), height);
}

int RunRender(const RenderOptions& options) {
  PluginSession session;
  if (!LoadPlugin(session, options.plugin)) return kExitNoPlugin;

  int exitCode = kExitOk;
  PackageInput input;
  if (!PreparePackage(&input, options.package, &exitCode)) return FinishSession(session, exitCode);
  PackageLook look(input.Path());
  const OpenedFootage footage = session.Open(input.Path());
  PF_EffectWorld* world = nullptr;
  std::optional<A_Err> drawResult;
  if (footage.result == A_Err_NONE) {
    world = session.NewWorld(FormatForDepth(options.depth), options.width, options.height);
    if (world)
      drawResult = session.Draw(footage.inSpec, world);
    else
      Complain(
          Format("the host cannot allocate a %dx%d world of depth %d", options.width, options.height, options.depth));
  }
  // The verdict check gives, with the frame check holds against the
  // preview: the 8-bit frame of the footage size, which is the world drawn
  // or else one more draw.
  const bool asChecked = options.depth == 8 && options.width == kStyleWidth && options.height == kStyleHeight;
  PF_EffectWorld* checked = asChecked ? world : nullptr;
  if (!asChecked && drawResult == A_Err_NONE) {
    checked = session.NewWorld(PF_PixelFormat_ARGB32, kStyleWidth, kStyleHeight);
    if (checked && session.Draw(footage.inSpec, checked) != A_Err_NONE) {
      session.ReleaseWorld(checked);
      checked = nullptr;
    }
  }
  session.Close(footage.inSpec);
  const DrawnFrame drawn = {checked ? reinterpret_cast<const uint8_t*>(checked->data) : nullptr,
                            checked ? std::ptrdiff_t(checked->rowbytes) : 0};
  const PackageVerdict verdict = Judge(look, footage, drawResult, checked ? &drawn : nullptr);
  if (checked != world) session.ReleaseWorld(checked);
  if (!verdict.ShowsItsPreview()) exitCode = kExitFailed;
  if (footage.result == A_Err_NONE && !world) exitCode = kExitUsage;

  // Written whatever the verdict: it shows what the host would get.
  nlohmann::json output = nullptr;
  if (world) {
    std::string error;
    if (WritePng(options.output, PictureOf(*world, options.depth), &error)) {
      output = options.output;
    } else {
      Complain(error);
      exitCode = kExitUsage;
    }
    session.ReleaseWorld(world);
  }

  if (options.quiet) return FinishSession(session, exitCode);
  // The picture may be what goes to standard output; the report then goes aside.
  const Stream report = options.output == "-" ? Stream::Err : Stream::Out;
  if (options.json) {
    nlohmann::json line = {{"package", options.package},
                           {"open_result", footage.result},
                           {"draw_result", drawResult ? nlohmann::json(*drawResult) : nlohmann::json()},
                           {"width", options.width},
                           {"height", options.height},
                           {"depth", options.depth},
                           {"output", output}};
    AddVerdictJson(verdict, &line);
    PrintJsonLine(line, report);
  } else {
    std::string text = VerdictText(options.package, verdict);
    if (!output.is_null())
      text += Format("  output:  %s (%dx%d, %d-bit world, %s PNG): %s\n", Printable(options.output).c_str(),
                     options.width, options.height, options.depth, options.depth == 8 ? "8-bit RGBA" : "16-bit RGBA",
                     Holding(verdict.shown));
    else if (footage.result != A_Err_NONE)
      text += "  output:  none (nothing is drawn for a package that does not import)\n";
    text += "  open:    " + HostErrorText(footage.result) + "\n";
    if (drawResult) text += "  draw:    " + HostErrorText(*drawResult) + "\n";
    Emit(report, text);
  }
  return FinishSession(session, exitCode);
}

Command AddRenderCommand(CLI::App& lvs) {
  struct State {
    RenderOptions options;
    std::string size = std::to_string(kStyleWidth) + "x" + std::to_string(kStyleHeight);
  };
  auto state = std::make_shared<State>();
  RenderOptions& options = state->options;
  CLI::App* app = lvs.add_subcommand("render", "open a package and draw one frame into a PNG");
  app->add_option("PACKAGE", options.package, "style package")->required();
  app->add_option("-o,--output", options.output, "PNG file to write")->required();
  app->add_option("--depth", options.depth, "bits per channel of the host world: 8, 16 or 32 (float)")
      ->check(CLI::IsMember({8, 16, 32}))
      ->capture_default_str();
  app->add_option("--size", state->size, "size of the host world, WIDTHxHEIGHT")
      ->check(CLI::Validator(
          [](std::string& text) {
            int w = 0, h = 0;
            return ParseSize(text, &w, &h)
                       ? std::string()
                       : "must be WIDTHxHEIGHT with each side from 1 to " + std::to_string(kLargestSide);
          },
          "WIDTHxHEIGHT"))
      ->capture_default_str();
  app->add_flag("--json", options.json, "print the results as one JSON object");
  AddQuietFlag(app, &options.quiet);
  AddPluginOption(app, &options.plugin);
  AddVersionFlag(app);
  return {app, [state] {
            ParseSize(state->size, &state->options.width, &state->options.height);
            return RunRender(state->options);
          }};
}

}  // namespace lvs
