// A whole package file from arbitrary bytes, taken through the footage's
// life in the module: opened, described, flattened, inflated into a second
// footage, drawn, and disposed of. Result codes may be anything the
// callbacks report, but nothing may crash, hang, leak or stay locked, and a
// successful draw paints a whole picture.
#include <cstdint>
#include <string>

#include "FuzzHost.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static lvsfuzz::ScratchFile file("lvs_fuzz_import");
  lvshost::SubstituteHost& host = lvsfuzz::StartInput();
  file.Write(data, size);

  AEIO_InSpecH inSpec = nullptr;
  const A_Err opened = lvsfuzz::OpenFootage(host, file.Path(), &inSpec);
  const auto attrs = host.InSpec(inSpec);
  lvsfuzz::Require(attrs.has_value(), "the footage handle vanished");
  if (opened == A_Err_NONE) lvsfuzz::Require(attrs->options != nullptr, "open succeeded without an options record");

  AEIO_Verbiage verbiage{};
  lvsfuzz::Require(host.Calls().GetInSpecInfo(inSpec, &verbiage) == A_Err_NONE, "GetInSpecInfo failed");

  AEIO_InSpecH second = host.NewInSpec();
  if (attrs->options) {
    AEGP_MemHandle flat = nullptr;
    const A_Err flattened = host.Calls().FlattenOptions(inSpec, &flat);
    lvsfuzz::Require(flattened == A_Err_NONE && flat, "flatten of an attached record failed");
    lvsfuzz::Require(host.Memory().Bytes(flat) == host.Memory().Bytes(attrs->options),
                     "the flat record differs from the record");
    lvsfuzz::Require(host.Calls().InflateOptions(second, flat) == A_Err_NONE, "inflate failed");
    host.Memory().Release(flat);
  }

  // Draw the rebuilt footage as a loaded project would; the depth and size
  // vary with the input so that every conversion is reached.
  const uint8_t pick = size ? data[size / 2] : 0;
  const bool full = (pick & 4) == 0;
  lvsfuzz::DrawAndCheck(host, second, lvsfuzz::FormatFromByte(pick), full ? 1280 : 320, full ? 720 : 180);

  lvsfuzz::CloseFootage(host, second);
  lvsfuzz::CloseFootage(host, inSpec);
  lvsfuzz::RequireClean(host);
  return 0;
}
