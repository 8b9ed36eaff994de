// A whole package file from arbitrary bytes, taken through the footage's
// life in the module: opened, described, flattened, inflated into a second
// footage, drawn, and disposed of. Result codes may be anything the
// callbacks report, but nothing may crash, hang, leak or stay locked, and a
// successful draw paints a whole picture.
#include <cstdint>
#include <string>

#include "FuzzHost.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static lvs_fuzz::ScratchFile file("lvs_fuzz_import");
  lvs_host::SubstituteHost& host = lvs_fuzz::StartInput();
  file.Write(data, size);

  AEIO_InSpecH inSpec = nullptr;
  const A_Err opened = lvs_fuzz::OpenFootage(host, file.Path(), &inSpec);
  const auto attrs = host.InSpec(inSpec);
  lvs_fuzz::Require(attrs.has_value(), "the footage handle vanished");
  if (opened == A_Err_NONE) lvs_fuzz::Require(attrs->options != nullptr, "open succeeded without an options record");

  AEIO_Verbiage verbiage{};
  lvs_fuzz::Require(host.Calls().GetInSpecInfo(inSpec, &verbiage) == A_Err_NONE, "GetInSpecInfo failed");

  AEIO_InSpecH second = host.NewInSpec();
  if (attrs->options) {
    AEGP_MemHandle flat = nullptr;
    const A_Err flattened = host.Calls().FlattenOptions(inSpec, &flat);
    lvs_fuzz::Require(flattened == A_Err_NONE && flat, "flatten of an attached record failed");
    lvs_fuzz::Require(host.Memory().Bytes(flat) == host.Memory().Bytes(attrs->options),
                      "the flat record differs from the record");
    lvs_fuzz::Require(host.Calls().InflateOptions(second, flat) == A_Err_NONE, "inflate failed");
    host.Memory().Release(flat);
  }

  // Draw the rebuilt footage as a loaded project would; the depth and size
  // vary with the input so that every conversion is reached.
  const uint8_t pick = size ? data[size / 2] : 0;
  const bool full = (pick & 4) == 0;
  lvs_fuzz::DrawAndCheck(host, second, lvs_fuzz::FormatFromByte(pick), full ? 1280 : 320, full ? 720 : 180);

  lvs_fuzz::CloseFootage(host, second);
  lvs_fuzz::CloseFootage(host, inSpec);
  lvs_fuzz::RequireClean(host);
  return 0;
}
