// Names for the numbers the tool prints: host error codes and the decoder's
// result codes.
#pragma once

#include <string>

#include "LVS_HostSDK.h"
#include "jpeg_decoder.h"

namespace lvs {

// "PF_Err_INTERNAL_STRUCT_DAMAGED" for 512 and so on; "unknown" otherwise.
const char* HostErrorName(A_Err err);
// "512 (PF_Err_INTERNAL_STRUCT_DAMAGED)".
std::string HostErrorText(A_Err err);
// "Success", "UnsupportedFeature"...; "unknown" otherwise.
const char* DecoderResultName(int32_t result);

}  // namespace lvs
