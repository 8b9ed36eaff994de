// lvs decode: any JPEG file through the plug-in's own decoder (the module
// exports only its entry point, so the decoder's source is linked in).
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "CommandLine.h"
#include "CommandSupport.h"
#include "Files.h"
#include "OutputFile.h"
#include "PngFile.h"
#include "PreviewDiagnosis.h"
#include "ResultNames.h"
#include "jpeg_decoder.h"

namespace lvs {
namespace {

// Far beyond any picture the decoder would accept; a larger file is refused
// before it is read into memory.
constexpr uint64_t kLargestInput = uint64_t(1) << 30;

bool EndsWithPng(const std::string& name) {
  if (name.size() < 4) return false;
  std::string tail = name.substr(name.size() - 4);
  for (char& c : tail) c = char(std::tolower(static_cast<unsigned char>(c)));
  return tail == ".png";
}

}  // namespace

int RunDecode(const DecodeOptions& options) {
  std::vector<uint8_t> bytes;
  std::string readError;
  if (!ReadInput(options.file, kLargestInput, &bytes, &readError)) {
    Complain(readError);
    return kExitUsage;
  }

  const Jpeg::Decoder decoder(
      bytes.data(), bytes.size(), [](uint64_t n) { return std::malloc(size_t(n)); }, std::free);
  const int32_t result = decoder.GetResult();
  const int components = decoder.GetComponentCount();
  int exitCode = result == Jpeg::Decoder::Success ? kExitOk : kExitFailed;

  // Only a finished decoding has pixels worth writing.
  if (!options.output.empty() && result == Jpeg::Decoder::Success && decoder.GetImage()) {
    const size_t count = size_t(decoder.GetWidth()) * size_t(decoder.GetHeight()) * size_t(components);
    const uint8_t* image = decoder.GetImage();
    std::string error;
    bool written = false;
    if (options.output == "-" || EndsWithPng(options.output)) {
      PngPicture picture;
      picture.width = decoder.GetWidth();
      picture.height = decoder.GetHeight();
      picture.channels = components;
      picture.samples8.assign(image, image + count);
      written = WritePng(options.output, picture, &error);
    } else {
      OutputFile out;
      if (out.Open(options.output, ".tmp", &error)) {
        out.Write(image, count);  // a failure is Commit's to report
        written = out.Commit(&error);
      }
    }
    if (!written) {
      Complain(error);
      exitCode = kExitUsage;
    }
  }

  if (options.quiet) return exitCode;
  const Stream report = options.output == "-" ? Stream::Err : Stream::Out;
  // What stopped the decoder, in the words check uses for a preview.
  const std::string cause = result == Jpeg::Decoder::Success ? std::string() : CausePhrase(decoder);
  if (options.json) {
    PrintJsonLine({{"file", options.file},
                   {"result", result},
                   {"result_name", DecoderResultName(result)},
                   {"cause", cause.empty() ? nlohmann::json() : nlohmann::json("it " + cause)},
                   {"width", decoder.GetWidth()},
                   {"height", decoder.GetHeight()},
                   {"components", components}},
                  report);
  } else {
    Emit(report, Format("%s\n  result:     %s (%d)%s\n  width:      %d\n  height:     %d\n  components: %d\n",
                        Printable(options.file).c_str(), DecoderResultName(result), int(result),
                        cause.empty() ? "" : (": it " + cause).c_str(), int(decoder.GetWidth()),
                        int(decoder.GetHeight()), components));
  }
  return exitCode;
}

Command AddDecodeCommand(CLI::App& lvs) {
  auto options = std::make_shared<DecodeOptions>();
  CLI::App* app = lvs.add_subcommand("decode", "decode a JPEG file with the plug-in's own decoder");
  app->add_option("IMAGE", options->file, "JPEG file")->required();
  app->add_option("-o,--output", options->output,
                  "write the pixels: a PNG when the name ends in .png or is -, else the decoder's raw bytes");
  app->add_flag("--json", options->json, "print the results as one JSON object");
  AddQuietFlag(app, &options->quiet);
  AddVersionFlag(app);
  app->footer("decode loads no plug-in module: its decoder is built into lvs, from the same source as the module's.");
  return {app, [options] { return RunDecode(*options); }};
}

}  // namespace lvs
